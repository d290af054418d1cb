#include "core/SerialSettingsText.h"

#include <gtest/gtest.h>

using namespace veltro::core;

TEST(SerialSettingsText, ParsesTheFourPartsIntoTablePositions)
{
    SerialSettingsIndices p;
    ASSERT_TRUE(ParseSerialSettingsText("19200 8E2", p));
    EXPECT_EQ(*p.baud, 6);
    EXPECT_EQ(*p.dataBits, 1);
    EXPECT_EQ(*p.parity, 2);
    EXPECT_EQ(*p.stopBits, 1);
    EXPECT_EQ(SerialSettingsToText(*p.baud, *p.dataBits, *p.parity, *p.stopBits), "19200 8E2");
    EXPECT_EQ(SerialSettingsToText(5, 1, 0, 0), "9600 8N1");
    SerialSettingsIndices lower;
    EXPECT_TRUE(ParseSerialSettingsText("38400 7o1", lower));  // case is ignored; the combo may not list it
    EXPECT_EQ(*lower.parity, 1);
}

TEST(SerialSettingsText, StopsAtTheFirstPartThatDoesNotFitAndKeepsTheOnesBefore)
{
    const struct {
        const char* text;
        bool baud, dataBits, parity;
    } cases[] = {{"9600-8N1", false, false, false}, {"9600 8N1 ", false, false, false},
                 {"14400 8N1", false, false, false}, {"9600 9N1", true, false, false},
                 {"9600 8X1", true, true, false},    {"9600 8N3", true, true, true},
                 {"", false, false, false},          {" 8N1", false, false, false}};
    for (const auto& c : cases) {
        SerialSettingsIndices p;
        EXPECT_FALSE(ParseSerialSettingsText(c.text, p)) << c.text;
        EXPECT_EQ(p.baud.has_value(), c.baud) << c.text;
        EXPECT_EQ(p.dataBits.has_value(), c.dataBits) << c.text;
        EXPECT_EQ(p.parity.has_value(), c.parity) << c.text;
        EXPECT_FALSE(p.stopBits.has_value()) << c.text;
    }
    EXPECT_EQ(SerialSettingsToText(99, 1, 0, 0), " 8N1");  // out of range never reads past a table
}
