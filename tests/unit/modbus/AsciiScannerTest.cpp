#include "modbus/AsciiScanner.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using veltro::modbus::TAsciiScanner;
using namespace std::string_literals;

namespace {

struct ScanCase {
    const char* Name;
    std::string Line;
    std::string Frame; // what is collected at the start of the buffer
    TAsciiScanner::TState State;
};

void PrintTo(const ScanCase& C, std::ostream* Os) { *Os << C.Name; }

// Feeds the line in chunks of the given sizes (the last one repeats), the way the receive
// loop reads what is queued right behind what it collected.
std::string Feed(const std::string& Line, const std::vector<size_t>& Sizes, TAsciiScanner& Scanner)
{
    std::vector<std::uint8_t> Dest(Line.size() + 1, 0xEE);
    std::int32_t Got = 0;
    size_t Fed = 0;
    for (size_t I = 0; Fed < Line.size() && !Scanner.Complete(); ++I) {
        const size_t N = std::min(Sizes[std::min(I, Sizes.size() - 1)], Line.size() - Fed);
        std::copy(Line.begin() + static_cast<long>(Fed), Line.begin() + static_cast<long>(Fed + N),
                  Dest.begin() + Got);
        Got = Scanner.Scan(Dest.data(), Got, static_cast<std::int32_t>(N));
        Fed += N;
    }
    EXPECT_EQ(Dest.back(), 0xEE) << "wrote past what was read";
    return std::string(Dest.begin(), Dest.begin() + Got);
}

class AsciiScan : public testing::TestWithParam<ScanCase> {};

TEST_P(AsciiScan, FindsTheSameFrameHoweverTheLineIsChunked)
{
    const ScanCase& C = GetParam();
    std::vector<std::vector<size_t>> Chunkings = {{C.Line.size()}, {1}, {2}, {3, 1}, {7}};
    for (size_t Split = 1; Split < C.Line.size(); ++Split)
        Chunkings.push_back({Split, C.Line.size()});
    for (const auto& Sizes : Chunkings) {
        TAsciiScanner Scanner;
        EXPECT_EQ(Feed(C.Line, Sizes, Scanner), C.Frame) << "first chunk " << Sizes[0];
        EXPECT_EQ(Scanner.State(), C.State) << "first chunk " << Sizes[0];
    }
}

INSTANTIATE_TEST_SUITE_P(
    Lines, AsciiScan,
    testing::Values(
        ScanCase{"PlainFrame", ":01030200057F\r\n", ":01030200057F\r\n", TAsciiScanner::ssComplete},
        ScanCase{"NoiseBeforeTheColonIsSkipped", "\x00\xFFzz\r\n0103:0106\r\n"s, ":0106\r\n",
                 TAsciiScanner::ssComplete},
        ScanCase{"ASecondColonRestartsTheFrame", ":0103:0207\r\n", ":0207\r\n", TAsciiScanner::ssComplete},
        ScanCase{"AColonAfterCrRestartsToo", ":0103\r:0207\r\n", ":0207\r\n", TAsciiScanner::ssComplete},
        ScanCase{"CrWithoutLfAbandonsTheFrame", ":0103\rX0207\r\n", "", TAsciiScanner::ssSeekColon},
        ScanCase{"AnAbandonedFrameCanBeFollowedByANewOne", ":0103\r\r:0207\r\n", ":0207\r\n",
                 TAsciiScanner::ssComplete},
        ScanCase{"WhatFollowsTheLfIsIgnored", ":01\r\n:0203\r\n", ":01\r\n", TAsciiScanner::ssComplete},
        ScanCase{"AnOpenFrameIsKeptWhileItArrives", "xx:0103", ":0103", TAsciiScanner::ssInFrame},
        ScanCase{"AwaitingTheLf", ":0103\r", ":0103\r", TAsciiScanner::ssCrSeen},
        ScanCase{"OnlyNoise", "0103\r\n", "", TAsciiScanner::ssSeekColon},
        ScanCase{"ShortestFraming", ":\r\n", ":\r\n", TAsciiScanner::ssComplete}),
    [](const auto& Info) { return std::string(Info.param.Name); });

TEST(AsciiScanner, ACompleteFrameIgnoresLaterChunksUntilReset)
{
    TAsciiScanner Scanner;
    std::uint8_t Data[32] = {':', 'A', '\r', '\n'};
    std::int32_t Got = Scanner.Scan(Data, 0, 4);
    ASSERT_TRUE(Scanner.Complete());
    Data[4] = ':';
    EXPECT_EQ(Scanner.Scan(Data, Got, 1), 4);
    EXPECT_TRUE(Scanner.Complete());
    Scanner.Reset();
    EXPECT_EQ(Scanner.Scan(Data + 4, 0, 1), 1);
    EXPECT_TRUE(Scanner.InFrame());
}

} // namespace
