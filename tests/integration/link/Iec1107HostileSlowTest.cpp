// The IEC client over the serial link against a meter that takes its time: one that never
// stops talking, and one that sends a byte at a time just inside the client's time-outs.
// Every operation must end within its attempts' time-outs with a false result and an
// entry per attempt; a single-byte answer that comes in time still counts.
#include "integration/link/Iec1107HostilePeer.h"

using namespace veltro::link;
using namespace veltro::test;
using Clock = std::chrono::steady_clock;

namespace {

TEST_F(IecOverPty, AMeterThatNeverStopsTalkingEndsEveryAttemptWithinItsTimeOut)
{
    // About 9600 Bd worth of text without an ETX; the meter falls silent after 40 s, so a
    // client that waits for silence fails here instead of hanging.
    HostileMeter meter(pty.MasterFd(), {.Reply = "(1.8.0)", .Chunk = 7, .Gap = 7ms, .Endless = true});
    const auto t0 = Clock::now();
    EXPECT_FALSE(iec.GetData(ReadCommand()));
    const auto took = Clock::now() - t0;
    // Two attempts of a 2 s read, each after a bounded skip of what is still arriving.
    EXPECT_LT(took, 10s);
    ExpectErrors("ReadStringTimed: timed out");
    EXPECT_TRUE(iec.Response.empty());
}

TEST_F(IecOverPty, BytesArrivingOncePerSecondEndTheReadAtItsTimeOut)
{
    HostileMeter meter(pty.MasterFd(), {.Reply = Block("(12)"), .Chunk = 1, .Gap = 900ms});
    const auto t0 = Clock::now();
    EXPECT_FALSE(iec.ReadValue("1.8.0"));
    const auto took = Clock::now() - t0;
    EXPECT_GE(took, 4s);  // each attempt waited its full 2 s
    EXPECT_LT(took, 8s);
    ExpectErrors("ReadStringTimed: timed out");
}

TEST_F(IecOverPty, ASlowSingleByteAnswerWithinTheTimeOutStillCounts)
{
    HostileMeter meter(pty.MasterFd(), {.Reply = std::string{ACK}, .Chunk = 1, .Gap = 900ms});
    EXPECT_TRUE(iec.Disconnect()) << (iec.Errors.empty() ? "" : iec.Errors.back());
    EXPECT_TRUE(iec.Errors.empty());
}

}  // namespace
