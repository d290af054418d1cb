#include "core/Common.h"

#include <gtest/gtest.h>

#include <array>
#include <stdexcept>

using namespace veltro::core;

TEST(Common, TableLookUpsIgnoreAsciiCaseAndFallBackToZero)
{
    constexpr std::array<std::string_view, 3> names = {"Nessuna", "Dispari", "Pari"};
    constexpr std::array<int, 3> values = {0, 1, 2};
    EXPECT_EQ(StrToTableValue(names, values, "PARI"), 2);
    EXPECT_EQ(StrToTableValue(names, values, "pari "), 0);
    int value = 7;
    EXPECT_FALSE(FindTableValue(names, values, "Mark", value));
    EXPECT_EQ(value, 7);
    EXPECT_TRUE(FindTableValue(names, values, "dispari", value));
    EXPECT_EQ(value, 1);
}

TEST(Common, HexTextOfBytes)
{
    EXPECT_EQ(ByteToHex(10), "0A");
    EXPECT_EQ(ByteToHex(255), "FF");
    const std::array<uint8_t, 3> bytes = {0x01, 0x03, 0x00};
    EXPECT_EQ(BytesToHex(bytes), "010300");
    EXPECT_EQ(BytesToHex({}), "");
}

TEST(Common, IntegersAreSigned32BitDecimalOrNothing)
{
    int32_t v = 0;
    EXPECT_TRUE(TryStrToInt("2147483647", v));
    EXPECT_EQ(v, 2147483647);
    EXPECT_TRUE(TryStrToInt("-2147483648", v));
    EXPECT_EQ(v, INT32_MIN);
    EXPECT_TRUE(TryStrToInt("  +42", v));
    EXPECT_EQ(v, 42);
    for (const char* bad : {"", "-", "2147483648", "-2147483649", "12 ", "1e3", "0x10", "99999999999999999999"})
        EXPECT_FALSE(TryStrToInt(bad, v)) << bad;
    EXPECT_THROW(
        {
            try {
                StrToInt("abc");
            } catch (const std::runtime_error& e) {
                EXPECT_STREQ(e.what(), "'abc' is not a valid integer value");
                throw;
            }
        },
        std::runtime_error);
}
