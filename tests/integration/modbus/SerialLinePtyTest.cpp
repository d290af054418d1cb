// The serial line over a real pseudo-terminal; the master side plays the far station.
// Ptys move bytes at once, so the peer pauses to stand for line time.

#include "modbus/FieldwireError.h"
#include "modbus/SerialLine.h"
#include "support/PtyPair.h"

#include <gtest/gtest.h>

#include <atomic>
#include <future>
#include <string>
#include <thread>
#include <vector>

using namespace veltro::modbus;
using veltro::test::FromHex;
using veltro::test::PortDir;
using veltro::test::PtyPair;
using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

namespace {

class SerialLinePty : public testing::Test {
protected:
    void SetUp() override { Ports.Publish(7, Pty.SlavePath()); }
    void TearDown() override { StopPlaying(); }

    void StopPlaying()
    {
        StopPeer = true;
        if (Peer.joinable())
            Peer.join();
        StopPeer = false;
    }

    // 9600 8N1; in RTU a silence of 200 characters is 188 ms, in ASCII SilentInterval is ms.
    void Open(TTransmissionMode Mode = tmRTU, TConnectionMode Side = cmClient, std::uint32_t Silent = 200)
    {
        LineSettings S;
        S.Port = "COM7";
        S.BaudRate = br9600;
        S.Parity = psNone;
        S.SilentInterval = Silent;
        S.TransmissionMode = Mode;
        S.ConnectionMode = Side;
        Line.OpenPort(S);
    }

    // The peer sends each piece after the pause before it.
    void Play(std::vector<std::pair<std::chrono::milliseconds, std::string>> Script)
    {
        Peer = std::thread([this, Script = std::move(Script)] {
            for (const auto& [Pause, Bytes] : Script) {
                if (StopPeer)
                    return;
                std::this_thread::sleep_for(Pause);
                Pty.Send(Bytes);
            }
        });
    }

    std::string Receive(std::chrono::milliseconds& Remaining)
    {
        std::vector<std::uint8_t> Dest(513);
        const std::int32_t N =
            Line.ReceiveFrame(Dest.data(), static_cast<std::int32_t>(Dest.size()), Line.CharTimeout(), Remaining);
        return std::string(Dest.begin(), Dest.begin() + N);
    }
    std::string Receive()
    {
        std::chrono::milliseconds Remaining = 3000ms;
        return Receive(Remaining);
    }

    PortDir Ports;
    PtyPair Pty;
    SerialLine Line;
    std::atomic<bool> StopPeer{false};
    std::thread Peer;
};

std::string Bytes(const std::string& Hex)
{
    const auto B = FromHex(Hex);
    return std::string(B.begin(), B.end());
}

TEST_F(SerialLinePty, OpensByPortNameAndRefusesAnUnknownOne)
{
    Open();
    EXPECT_TRUE(Line.IsOpen());
    EXPECT_EQ(Line.CharTimeout(), 188ms);
    Line.ClosePort();

    LineSettings S;
    S.Port = "COM8";
    try {
        Line.OpenPort(S);
        FAIL() << "opened a port that does not exist";
    } catch (const EFieldwireError& E) {
        EXPECT_STREQ(E.what(), "Could not open serial port");
    }
    EXPECT_FALSE(Line.IsOpen());
}

TEST_F(SerialLinePty, ARtuFrameEndsAtASilenceLongerThanTheCharacterTimeout)
{
    Open();
    // Gaps well under 188 ms keep the frame together; a 600 ms pause splits it.
    Play({{0ms, Bytes("01 03")}, {20ms, Bytes("04 00")}, {20ms, Bytes("0A 00")},
          {600ms, Bytes("0B 5B C4")}});
    EXPECT_EQ(Receive(), Bytes("01 03 04 00 0A 00"));
    EXPECT_EQ(Receive(), Bytes("0B 5B C4"));
}

TEST_F(SerialLinePty, AFrameStillArrivingWhenTheReceiveTimeRunsOutIsReturnedAsReceived)
{
    Open();
    std::vector<std::pair<std::chrono::milliseconds, std::string>> Slow;
    for (int I = 0; I < 60; ++I)
        Slow.push_back({20ms, Bytes("55")}); // 1.2 s of a frame, never a 188 ms gap
    Play(Slow);

    std::chrono::milliseconds Remaining = 300ms;
    const auto Start = Clock::now();
    const std::string Got = Receive(Remaining);
    const auto Took = Clock::now() - Start;
    EXPECT_GT(Got.size(), 0u);
    EXPECT_LT(Got.size(), 60u);
    EXPECT_EQ(Remaining, 0ms);
    EXPECT_GE(Took, 290ms);
    EXPECT_LT(Took, 300ms + 150ms) << "the gaps between characters count against the receive time";
}

TEST_F(SerialLinePty, NothingArrivingEndsTheReceiveWhenItsTimeIsUp)
{
    Open();
    std::chrono::milliseconds Remaining = 250ms;
    const auto Start = Clock::now();
    EXPECT_EQ(Receive(Remaining), "");
    EXPECT_EQ(Remaining, 0ms);
    EXPECT_GE(Clock::now() - Start, 240ms);
}

TEST_F(SerialLinePty, AsciiFramesSkipNoiseAndRestartAtAColon)
{
    Open(tmASCII, cmClient, 100);
    Play({{0ms, "\x13garbage\r\n"}, {30ms, ":01"}, {30ms, "03:0103"}, {30ms, "02007B7F\r"}, {30ms, "\n:0105"}});
    EXPECT_EQ(Receive(), ":010302007B7F\r\n");
    StopPlaying();

    // The rest of the chunk after the LF was not taken as a new frame.
    Line.PurgePort(true, false);
    Play({{0ms, ":0103\r"}, {40ms, "X0203\r\n"}});
    std::chrono::milliseconds Remaining = 2000ms;
    EXPECT_EQ(Receive(Remaining), "") << "a CR without LF abandons the frame";
    EXPECT_GT(Remaining, 1000ms) << "and ends the receive there";
    StopPlaying();

    // A frame that is abandoned within the chunk that opened it does not end the wait for
    // one that completes.
    Play({{0ms, ":0103\rX"}, {40ms, ":0106\r\n"}});
    EXPECT_EQ(Receive(), ":0106\r\n");
}

TEST_F(SerialLinePty, AServerStopEndsAWaitWithoutLimitPromptly)
{
    Open(tmRTU, cmServer);
    auto Waiting = std::async(std::launch::async, [this] {
        std::chrono::milliseconds Remaining = InfiniteTimeout;
        return Receive(Remaining);
    });
    ASSERT_EQ(Waiting.wait_for(100ms), std::future_status::timeout) << "nothing should end the wait yet";
    const auto Signalled = Clock::now();
    Line.SignalServerStop();
    ASSERT_EQ(Waiting.wait_for(5s), std::future_status::ready);
    EXPECT_LT(Clock::now() - Signalled, 100ms);
    EXPECT_EQ(Waiting.get(), "");

    // The line still works for the next request.
    Play({{0ms, Bytes("01 03 00 00 00 01 84 0A")}});
    std::chrono::milliseconds Remaining = InfiniteTimeout;
    EXPECT_EQ(Receive(Remaining), Bytes("01 03 00 00 00 01 84 0A"));
}

TEST_F(SerialLinePty, AHangUpEndsEvenAWaitWithoutLimit)
{
    Open();
    Pty.CloseSlaveKeeper();
    auto Waiting = std::async(std::launch::async, [this] { return Line.WaitForRxChar(InfiniteTimeout); });
    Pty.CloseMaster();
    ASSERT_EQ(Waiting.wait_for(5s), std::future_status::ready);
    EXPECT_FALSE(Waiting.get());
    EXPECT_TRUE(Line.LineLost());
    EXPECT_EQ(Receive(), "");
}

TEST_F(SerialLinePty, FramesGoOutWhole)
{
    Open();
    const auto Frame = FromHex("79 03 00 00 00 3A CF A1");
    ASSERT_TRUE(Line.SendFrame(Frame.data(), static_cast<std::int32_t>(Frame.size()), 1000ms));
    EXPECT_EQ(Pty.Receive(Frame.size(), 2s), Frame);
}

TEST_F(SerialLinePty, SettlingDiscardsStaleInputAndTheTalkOfABusyLine)
{
    Open();
    Pty.Send(Bytes("AA AA AA"));
    std::vector<std::pair<std::chrono::milliseconds, std::string>> Chatter;
    for (int I = 0; I < 5; ++I)
        Chatter.push_back({40ms, Bytes("55 55")});
    Play(Chatter);
    Line.SettleLine();
    // Settling returns only after a full character timeout of silence, so the chatter is over.
    EXPECT_FALSE(Line.WaitForRxChar(0ms));
}

TEST_F(SerialLinePty, ALineThatNeverFallsSilentDoesNotKeepSettlingForEver)
{
    Open();
    Peer = std::thread([this] {
        while (!StopPeer) {
            Pty.Send(Bytes("55"));
            std::this_thread::sleep_for(20ms); // far below the 188 ms silence
        }
    });
    const auto Start = Clock::now();
    Line.SettleLine();
    const auto Took = Clock::now() - Start;
    EXPECT_GE(Took, SerialLine::MaxSettleTime - 50ms);
    EXPECT_LT(Took, SerialLine::MaxSettleTime + 500ms);
}

} // namespace
