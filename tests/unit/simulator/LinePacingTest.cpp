// The arithmetic behind the simulated lines' timing: how long a character lasts in each
// character format, and when each byte of a paced reply is complete.
#include "simulator/SimPort.h"

#include <gtest/gtest.h>

namespace veltro::sim {
namespace {

using namespace std::chrono_literals;

struct FormatCase {
    LineFormat format;
    int bits;
    std::chrono::nanoseconds character;
};

class CharacterTime : public ::testing::TestWithParam<FormatCase> {};

TEST_P(CharacterTime, CountsStartParityAndStopBits)
{
    const FormatCase& c = GetParam();
    EXPECT_EQ(c.format.BitsPerCharacter(), c.bits);
    EXPECT_EQ(c.format.CharacterTime(), c.character);
}

INSTANTIATE_TEST_SUITE_P(Formats, CharacterTime,
                         ::testing::Values(
                             // the module's default and the meter's format: both 10 bits
                             FormatCase{{9600, 8, 'N', 1}, 10, 1'041'666ns},
                             FormatCase{{9600, 7, 'E', 1}, 10, 1'041'666ns},
                             FormatCase{{19200, 8, 'E', 2}, 12, 625'000ns},
                             FormatCase{{300, 7, 'O', 2}, 11, 36'666'666ns},
                             FormatCase{{921600, 8, 'N', 1}, 10, 10'850ns},
                             // a rate of 0 must not divide by zero; such a line is not paced
                             FormatCase{{0, 8, 'N', 1}, 10, 0ns}),
                         [](const auto& info) {
                             const LineFormat& f = info.param.format;
                             return "Rate" + std::to_string(f.bitRate) + "_" + std::to_string(f.dataBits) +
                                    f.parity + std::to_string(f.stopBits);
                         });

TEST(PacingSchedule, ByteIsCompleteOneCharacterTimeAfterThePreviousOne)
{
    const auto start = PacingSchedule::Clock::time_point{} + 1s;
    const PacingSchedule s(start, 1ms);
    EXPECT_EQ(s.Due(0), start + 1ms);
    EXPECT_EQ(s.Due(57), start + 58ms);
    EXPECT_EQ(s.End(121), start + 121ms);

    EXPECT_EQ(s.CompleteBy(start), 0u);
    EXPECT_EQ(s.CompleteBy(start + 999us), 0u);
    EXPECT_EQ(s.CompleteBy(start + 1ms), 1u);
    // A sender that wakes late owes every byte whose time has come, not one more byte:
    // that is what keeps the reply's end on schedule.
    EXPECT_EQ(s.CompleteBy(start + 7500us), 7u);
    EXPECT_EQ(s.CompleteBy(start - 5ms), 0u);
}

TEST(PacingSchedule, ZeroCharacterTimeReleasesEverythingAtOnce)
{
    const auto start = PacingSchedule::Clock::now();
    const PacingSchedule s(start, 0ns);
    EXPECT_EQ(s.CompleteBy(start), SIZE_MAX);
}

}  // namespace
}  // namespace veltro::sim
