#include "core/ModuleRegisters.h"

#include <gtest/gtest.h>

#include <limits>
#include <vector>

using namespace veltro::core;

namespace {
// Registers as they arrive: each value's little-endian image, two bytes per register.
std::vector<uint16_t> Regs(std::initializer_list<std::vector<uint16_t>> parts)
{
    std::vector<uint16_t> out;
    for (const auto& p : parts)
        out.insert(out.end(), p.begin(), p.end());
    return out;
}
uint16_t Word(uint16_t v)
{
    return SwapWord(v);
}
}  // namespace

TEST(ModuleRegisters, DecodesEachEncodingAtItsPosition)
{
    const auto regs = Regs({LongWordToWords(0xFFFFFFFF), {Word(17), Word(58), Word(0)},
                            {Word(2011), Word(3), Word(30)}, DoubleToWords(-5.5), SingleToWords(0.5f)});
    const RegisterBlock block(regs);
    EXPECT_EQ(block.RegLongWord(kRegSerial), 4294967295u);
    EXPECT_EQ(block.RegWord(kRegClockTime), 17);
    EXPECT_EQ(block.RegDouble(kRegTotals), -5.5);
    EXPECT_EQ(block.RegSingle(12), 0.5);
    const auto stamp = block.RegStamp(kRegClockTime, kRegClockDate);
    ASSERT_TRUE(stamp);
    EXPECT_EQ(stamp->date.year, 2011);
    EXPECT_EQ(stamp->date.day, 30);
    EXPECT_EQ(stamp->time.minute, 58);
}

TEST(ModuleRegisters, ValuesTheModuleCannotHaveReadAsZero)
{
    const auto regs = Regs({DoubleToWords(2e38), DoubleToWords(std::numeric_limits<double>::quiet_NaN()),
                            SingleToWords(std::numeric_limits<float>::infinity()),
                            SingleToWords(-std::numeric_limits<float>::infinity()), DoubleToWords(1e38)});
    const RegisterBlock block(regs);
    EXPECT_EQ(block.RegDouble(0), 0.0);
    EXPECT_EQ(block.RegDouble(4), 0.0);
    EXPECT_EQ(block.RegSingle(8), 0.0);
    EXPECT_EQ(block.RegSingle(10), -std::numeric_limits<double>::infinity());
    EXPECT_EQ(block.RegDouble(12), 1e38);
}

TEST(ModuleRegisters, ShortBlocksAndInvalidStampsNeverReadPastTheReply)
{
    const std::vector<uint16_t> regs = {Word(0), Word(0), Word(0), Word(2024), Word(13), Word(1)};
    const RegisterBlock block(regs);
    EXPECT_FALSE(block.RegStamp(0, 3));  // month 13
    EXPECT_EQ(block.RegDouble(4), 0.0);  // only two registers left
    EXPECT_EQ(block.RegLongWord(6), 0u);
    EXPECT_EQ(block.RegWord(1000), 0);
    EXPECT_FALSE(block.RegStamp(4, 100));
}
