#include "core/Formatting.h"

#include <gtest/gtest.h>

#include <limits>

using namespace veltro::core;

namespace {
class WithLocale : public ::testing::Test {
protected:
    void TearDown() override { QLocale::setDefault(QLocale::c()); }
    void Use(const char* name) { QLocale::setDefault(QLocale(QString::fromLatin1(name))); }
};
}  // namespace

TEST_F(WithLocale, DecimalSeparatorFollowsTheLocaleWithoutGrouping)
{
    Use("it_IT");
    EXPECT_EQ(FormatFixed(114.69999694824219, 2), "114,70");
    EXPECT_EQ(FormatGeneral(1.7209), "1,7209");
    EXPECT_EQ(FormatFixed(1234567.0, 1), "1234567,0");
    Use("en_US");
    EXPECT_EQ(FormatFixed(114.69999694824219, 2), "114.70");
    EXPECT_EQ(FormatGeneral(1234567.25), "1234567.25");
}

TEST_F(WithLocale, FixedKeepsSevenSignificantDigits)
{
    Use("en_US");
    EXPECT_EQ(FormatFixed(12345.678, 3), "12345.680");
    EXPECT_EQ(FormatFixed(229.96, 1), "230.0");
    EXPECT_EQ(FormatFixed(0.0004, 3), "0.000");
    EXPECT_EQ(FormatFixed(-5.5, 3), "-5.500");
    EXPECT_EQ(FormatFixed(123456789.0, 1), "1.234568E+08");
}

TEST_F(WithLocale, SpecialValues)
{
    EXPECT_EQ(FormatFixed(std::numeric_limits<double>::quiet_NaN(), 2), "NAN");
    EXPECT_EQ(FormatFixed(std::numeric_limits<double>::infinity(), 2), "INF");
    EXPECT_EQ(FormatFixed(-std::numeric_limits<double>::infinity(), 2), "-INF");
}

TEST_F(WithLocale, LongTimeHasNoTimeZoneAndMidnightStampsShowTheDateAlone)
{
    Use("it_IT");
    EXPECT_EQ(FormatLongTime(QTime(17, 58, 0)), "17:58:00");
    EXPECT_EQ(FormatDateTime(QDate(2011, 3, 30), QTime(0, 0, 0)), FormatShortDate(QDate(2011, 3, 30)));
    EXPECT_EQ(FormatDateTime(QDate(2011, 3, 30), QTime(17, 58, 0)),
              FormatShortDate(QDate(2011, 3, 30)) + " 17:58:00");
}
