#include "core/PollStatistics.h"

#include <gtest/gtest.h>

using namespace veltro::core;
using namespace std::chrono_literals;

namespace {
std::string Seconds(PollStatistics::Time t)
{
    return std::to_string(std::chrono::duration_cast<std::chrono::seconds>(t.time_since_epoch()).count());
}
std::vector<std::string> Lines(const PollStatistics& s)
{
    return s.Lines(Seconds, Seconds);
}
PollStatistics::Time At(int seconds)
{
    return PollStatistics::Time{} + std::chrono::seconds(seconds);
}
}  // namespace

TEST(PollStatistics, TheLongestRunOfFailuresKeepsItsFirstAndLastTime)
{
    PollStatistics s;
    int t = 10;
    // three failures, a success, two failures
    for (TReplyOutcome o : {roNoReply, roUnmatched, roException, roSuccess, roInvalid, roNoReply}) {
        s.Request(At(t));
        s.Reply(o, At(t));
        ++t;
    }
    const auto lines = Lines(s);
    EXPECT_EQ(lines[0], "Requests = 6");
    EXPECT_EQ(lines[1], "Responses = 1");
    EXPECT_EQ(lines[2], "Timeout Responses = 2");
    EXPECT_EQ(lines[3], "Unmatched Responses = 1");
    EXPECT_EQ(lines[4], "Exceptions Responses = 1");
    EXPECT_EQ(lines[5], "Invalid Responses = 1");
    EXPECT_EQ(lines[6], "Last Consec Errors = 2");
    EXPECT_EQ(lines[7], "Max  Consec Errors = 3");
    EXPECT_EQ(lines[8], "Last Request   Time = 15");
    EXPECT_EQ(lines[9], "Last Resp. OK  Time = 13");
    EXPECT_EQ(lines[10], "Last Consec Errors Time = 14 - 15");
    EXPECT_EQ(lines[11], "Max  Consec Errors Time = 10 - 12");
}

TEST(PollStatistics, ARunThatOvertakesTheLongestMovesItsEndAlong)
{
    PollStatistics s;
    s.Reply(roNoReply, At(1));
    s.Reply(roSuccess, At(2));
    for (int t = 3; t <= 5; ++t)
        s.Reply(roNoReply, At(t));
    EXPECT_EQ(Lines(s)[11], "Max  Consec Errors Time = 3 - 5");
    EXPECT_EQ(s.FConsecErrors, 3);
}

TEST(PollStatistics, ResetShowsZeroCountersAndNoTimes)
{
    PollStatistics s;
    s.Request(At(1));
    s.Reply(roNoReply, At(2));
    s.Reset();
    const auto lines = Lines(s);
    ASSERT_EQ(lines.size(), 12u);
    for (int i = 0; i < 8; ++i)
        EXPECT_EQ(lines[i].back(), '0') << lines[i];
    for (int i = 8; i < 12; ++i)
        EXPECT_TRUE(lines[i].ends_with("= N/A")) << lines[i];
}
