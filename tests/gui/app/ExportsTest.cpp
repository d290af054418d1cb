// The values on screen as CSV, in the conventions of the user's locale.
#include "core/Exports.h"

#include <gtest/gtest.h>

using namespace veltro::core;

TEST(Exports, CsvFollowsTheLocalesSeparators)
{
    const QList<CsvRow> rows = {
        {QStringLiteral("Totale"), 1234.5, QStringLiteral("kWh")},
        {QStringLiteral("Nota \"A\""), -0.25, QStringLiteral("1,5")},
        {QStringLiteral("=1+1"), QStringLiteral("-3"), QStringLiteral("-x")},
    };
    struct Case {
        QLocale locale;
        const char* expected;
    } cases[] = {
        {QLocale(QLocale::Italian, QLocale::Italy),
         "Totale;1234,5;kWh\r\n\"Nota \"\"A\"\"\";-0,25;1,5\r\n'=1+1;-3;'-x\r\n"},
        {QLocale::c(), "Totale,1234.5,kWh\r\n\"Nota \"\"A\"\"\",-0.25,\"1,5\"\r\n'=1+1,-3,'-x\r\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.locale.name().toStdString());
        EXPECT_EQ(ToCsv(rows, c.locale), QByteArray("\xEF\xBB\xBF") + c.expected);
    }
}
