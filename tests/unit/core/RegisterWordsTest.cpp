#include "core/Common.h"
#include "core/RegisterWords.h"
#include "platform/DebugOutput.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

using namespace veltro::core;

namespace {
std::vector<uint16_t> Words(const char* text)
{
    std::vector<uint16_t> w;
    EXPECT_TRUE(HexToWords(text, w)) << text;
    return w;
}
}  // namespace

TEST(HexToWords, AcceptsSpacesAnywhereAndEitherCase)
{
    EXPECT_EQ(Words("4E61 BC00"), (std::vector<uint16_t>{0x4E61, 0xBC00}));
    EXPECT_EQ(Words("4e61bc00"), (std::vector<uint16_t>{0x4E61, 0xBC00}));
    EXPECT_EQ(Words(" 4 e6 1bc0 0 "), (std::vector<uint16_t>{0x4E61, 0xBC00}));
    EXPECT_TRUE(Words("").empty());
}

TEST(HexToWords, RejectsBadLengthsAndCharacters)
{
    std::vector<uint16_t> w;
    EXPECT_FALSE(HexToWords("4E61 BC0", w));   // 7 digits
    EXPECT_FALSE(HexToWords("4E61 BG00", w));
    EXPECT_FALSE(HexToWords("-001", w));
    EXPECT_FALSE(HexToWords("0x12", w));
    uint16_t word = 0x1234;
    EXPECT_FALSE(HexToWord("12Z4", word));
    EXPECT_EQ(word, 0);  // a bad group clears the word
}

TEST(HexToWord, WritesTheUnsignedValueToTheDebugOutput)
{
    std::vector<std::string> lines;
    auto previous = veltro::platform::SetDebugSink([&](std::string_view s) { lines.emplace_back(s); });
    veltro::platform::SetDebugOutputEnabled(true);
    uint16_t w = 0;
    EXPECT_TRUE(HexToWord("FFFF", w));
    veltro::platform::SetDebugSink(previous);
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(lines[0], "65535");
}

TEST(RegisterWords, DecodesTheWorkedExamples)
{
    uint32_t serial = 0;
    ASSERT_TRUE(WordsToLongWord(Words("4E61 BC00"), serial));
    EXPECT_EQ(serial, 12345678u);

    float single = 0;
    ASSERT_TRUE(WordsToSingle(Words("6666 E542"), single));
    EXPECT_FLOAT_EQ(single, 114.69999694824219f);

    double dbl = 0;
    ASSERT_TRUE(WordsToDouble(Words("7FFB 3A70 CE88 FB3F"), dbl));
    EXPECT_DOUBLE_EQ(dbl, 1.7209);

    auto date = WordsToDate(Words("DB07 0300 1E00"));
    ASSERT_TRUE(date);
    EXPECT_EQ(date->year, 2011);
    EXPECT_EQ(date->month, 3);
    EXPECT_EQ(date->day, 30);

    auto time = WordsToTime(Words("1100 3A00 0000"));
    ASSERT_TRUE(time);
    EXPECT_EQ(time->hour, 17);
    EXPECT_EQ(time->minute, 58);
    EXPECT_EQ(time->second, 0);
}

TEST(RegisterWords, SerialNumberIsUnsignedAndWordCountsAreExact)
{
    uint32_t serial = 0;
    ASSERT_TRUE(WordsToLongWord(Words("FFFF FFFF"), serial));
    EXPECT_EQ(serial, 4294967295u);
    EXPECT_FALSE(WordsToLongWord(Words("4E61 BC00 0000"), serial));
    EXPECT_FALSE(WordsToLongWord(Words(""), serial));
    double d = 0;
    EXPECT_FALSE(WordsToDouble(Words("4E61 BC00"), d));
}

TEST(RegisterWords, SpecialSingles)
{
    float f = 0;
    ASSERT_TRUE(WordsToSingle(Words("0000 803F"), f));
    EXPECT_EQ(f, 1.0f);
    ASSERT_TRUE(WordsToSingle(Words("0000 C07F"), f));
    EXPECT_TRUE(std::isnan(f));
    ASSERT_TRUE(WordsToSingle(Words("0000 807F"), f));
    EXPECT_EQ(f, std::numeric_limits<float>::infinity());
    ASSERT_TRUE(WordsToSingle(Words("0000 80FF"), f));
    EXPECT_EQ(f, -std::numeric_limits<float>::infinity());
}

TEST(RegisterWords, EncodingRoundTrips)
{
    for (double v : {0.0, -5.5, 1.7209, 2e38, 123456789.125}) {
        double back = 0;
        ASSERT_TRUE(WordsToDouble(DoubleToWords(v), back));
        EXPECT_EQ(back, v);
    }
    float f = 0;
    ASSERT_TRUE(WordsToSingle(SingleToWords(230.25f), f));
    EXPECT_EQ(f, 230.25f);
    EXPECT_EQ(LongWordToWords(12345678u), (std::vector<uint16_t>{0x4E61, 0xBC00}));
}

TEST(RegisterWords, CalendarAndClockLimits)
{
    EXPECT_FALSE(WordsToDate(Words("DB07 0200 1E00")));  // 30 February 2011
    EXPECT_TRUE(IsValidDate(2012, 2, 29));
    EXPECT_FALSE(IsValidDate(2011, 2, 29));
    EXPECT_FALSE(IsValidDate(1900, 2, 29));
    EXPECT_TRUE(IsValidDate(2000, 2, 29));
    EXPECT_FALSE(IsValidDate(0, 1, 1));
    EXPECT_FALSE(IsValidDate(10000, 1, 1));
    EXPECT_FALSE(IsValidDate(2011, 13, 1));
    EXPECT_FALSE(WordsToTime(Words("1800 0000 0000")));  // hour 24
    EXPECT_FALSE(WordsToTime(Words("1700 3C00 0000")));  // minute 60
    EXPECT_FALSE(WordsToTime(Words("1100 3A00")));       // two words
}

TEST(RegroupHex, GroupsFromTheRight)
{
    EXPECT_EQ(RegroupHex("4e61bc00"), "4E61 BC00");
    EXPECT_EQ(RegroupHex("ABCDEF"), "AB CDEF");
    EXPECT_EQ(RegroupHex("ABCD"), "ABCD");
    EXPECT_EQ(RegroupHex(" 7ffb3a70 ce88fb3f"), "7FFB 3A70 CE88 FB3F");
    EXPECT_EQ(RegroupHex(""), "");
    EXPECT_EQ(StripSpaces("4E61 BC00"), "4E61BC00");
}

TEST(Common, TableLookUpsIgnoreCase)
{
    static constexpr std::string_view names[] = {"Nessuna", "Dispari", "Pari"};
    static constexpr int values[] = {0, 1, 2};
    EXPECT_EQ(StrToTableValue(names, values, "pari"), 2);
    EXPECT_EQ(StrToTableValue(names, values, "Nessuno"), 0);
    int v = 7;
    EXPECT_FALSE(FindTableValue(names, values, "", v));
    EXPECT_EQ(v, 7);
    EXPECT_TRUE(FindTableValue(names, values, "DISPARI", v));
    EXPECT_EQ(v, 1);
}

TEST(Common, HexText)
{
    EXPECT_EQ(ByteToHex(10), "0A");
    EXPECT_EQ(ByteToHex(255), "FF");
    const uint8_t frame[] = {0x01, 0x03, 0x00};
    EXPECT_EQ(BytesToHex(frame), "010300");
    EXPECT_EQ(BytesToHex({}), "");
}
