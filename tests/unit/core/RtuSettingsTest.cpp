#include "core/RtuSettings.h"

#include <gtest/gtest.h>

using namespace veltro;
using namespace veltro::modbus;
using core::RtuSettings;

TEST(RtuSettings, TextsOfTheMeterAndOfTheListsGiveTheSameSettings)
{
    const RtuSettings s{br2400, db8, psOdd, sb2};
    EXPECT_EQ(s.Text(), "2400 8O2");
    EXPECT_EQ(core::ParseRtuSettings("2400 8O2"), s);
    EXPECT_EQ(core::ParseRtuSettings("19200 8e1"), (RtuSettings{br19200, db8, psEven, sb1}));
    EXPECT_EQ(core::RtuSettingsFromTexts("2400", "8", "Dispari", "2"), s);
    EXPECT_EQ(s.ParityName(), "Dispari");
    EXPECT_EQ(s.StopBitsName(), "2");
    for (const char* bad : {"", "9600", "9600 8N", "9600 8X1", "9601 8N1", "9600 9N1", "9600 8N3", " 9600 8N1"})
        EXPECT_FALSE(core::ParseRtuSettings(bad).has_value()) << bad;
    // 9600 8N1: 10 bits a character, 17 characters in 17.7 ms.
    EXPECT_EQ(RtuSettings{}.LineTime(17), std::chrono::milliseconds(18));
    EXPECT_EQ(s.LineTime(17), std::chrono::milliseconds(85));
}

TEST(RtuSettings, TheSearchTriesTheLikelySettingsFirst)
{
    const std::vector<RtuSettings> all = core::ScanSettings();
    ASSERT_EQ(all.size(), 24u);
    EXPECT_EQ(all.front().Text(), "9600 8N1");
    EXPECT_EQ(all[1].Text(), "19200 8N1");
    EXPECT_EQ(all[4].Text(), "9600 8E1");
    EXPECT_EQ(all.back().Text(), "2400 8O2");
    // A narrowed search keeps that order, whatever order the choice came in.
    const TBaudRate rates[] = {br2400, br9600};
    const TParityScheme parities[] = {psOdd, psNone};
    const std::vector<RtuSettings> some = core::ScanSettings(rates, parities, {});
    std::vector<std::string> texts;
    for (const RtuSettings& s : some)
        texts.push_back(s.Text());
    EXPECT_EQ(texts, (std::vector<std::string>{"9600 8N1", "2400 8N1", "9600 8O1", "2400 8O1", "9600 8N2",
                                               "2400 8N2", "9600 8O2", "2400 8O2"}));
}
