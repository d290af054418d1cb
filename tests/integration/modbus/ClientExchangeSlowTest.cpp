// Exchanges that end on real receive time-outs.

#include "integration/modbus/ClientFixture.h"

#include <thread>

namespace veltro::modbus::test {
namespace {

using Clock = std::chrono::steady_clock;
using ClientTimeouts = ClientFixture;

constexpr std::uint32_t ReceiveTimeoutMs = 300;

TEST_F(ClientTimeouts, ASilentServerIsAskedMaxRetriesTimesThenNoReply)
{
    Conn->SetMaxRetries(3);
    Conn->SetReceiveTimeout(ReceiveTimeoutMs);
    Open();
    const auto Start = Clock::now();
    Client.ReadHoldingRegisters(100, 3, 7);
    std::vector<Bytes> Requests;
    for (int I = 0; I < 3; ++I)
        Requests.push_back(Request(8));
    ASSERT_TRUE(WaitForHolding(1, 5s));
    const auto Elapsed = Clock::now() - Start;

    const RegistersEvent& E = Holding[0];
    EXPECT_EQ(E.Info.ReplyStatus, rsNoReply);
    EXPECT_EQ(E.Info.Attempts, 3u);
    EXPECT_EQ(E.Info.UserData, 7);
    EXPECT_EQ(E.Start, 100);
    EXPECT_EQ(E.Count, 3);
    EXPECT_EQ(E.Values, TRegValues(3, 0));
    for (const Bytes& R : Requests)
        EXPECT_EQ(R, Rtu("11 03 00 64 00 03"));
    // Each attempt waits out the whole receive time; sending is instantaneous on a pty.
    EXPECT_GE(Elapsed, std::chrono::milliseconds(3 * ReceiveTimeoutMs));
    EXPECT_LT(Elapsed, std::chrono::milliseconds(3 * ReceiveTimeoutMs + 400));
    EXPECT_EQ(Sent.size(), 3u);
    // Every attempt's silence shows up as an empty received frame.
    EXPECT_EQ(Received, std::vector<TFrameData>(3));
}

TEST_F(ClientTimeouts, AStrayFrameWithNothingAfterItEndsAsNoReplyAndIsRetried)
{
    Conn->SetMaxRetries(2);
    Conn->SetReceiveTimeout(ReceiveTimeoutMs);
    Open();
    Client.ReadHoldingRegisters(0, 1);
    Request(8);
    const Bytes Stray = Rtu("12 03 02 00 01");
    Pty.Send(Stray);
    Request(8);  // the second attempt
    ASSERT_TRUE(WaitForHolding(1, 5s));
    EXPECT_EQ(Holding[0].Info.ReplyStatus, rsNoReply);
    EXPECT_EQ(Holding[0].Info.Attempts, 2u);
    EXPECT_EQ(Received, (std::vector<TFrameData>{Stray, {}, {}}));
}

TEST_F(ClientTimeouts, RefetchDelayFollowsEveryAttempt)
{
    Conn->SetMaxRetries(2);
    Conn->SetReceiveTimeout(100);
    Conn->SetRefetchDelay(200);
    Open();
    const auto Start = Clock::now();
    Client.ReadHoldingRegisters(0, 1);
    ASSERT_TRUE(WaitForHolding(1, 5s));
    const auto Elapsed = Clock::now() - Start;
    EXPECT_EQ(Holding[0].Info.Attempts, 2u);
    EXPECT_GE(Elapsed, 600ms);
    EXPECT_LT(Elapsed, 1000ms);
}

TEST_F(ClientTimeouts, ClosingCutsTheExchangeInProgressShortAndFreesTheQueued)
{
    Conn->SetReceiveTimeout(ReceiveTimeoutMs);
    Conn->SetMaxRetries(3);
    Open();
    for (int I = 0; I < 3; ++I)
        Client.ReadHoldingRegisters(static_cast<std::uint16_t>(I), 1);
    Request(8);  // the first is on the line, its reply awaited
    const auto Start = Clock::now();
    Conn->SetActive(false);
    EXPECT_LT(Clock::now() - Start, 100ms) << "closing does not wait out the receive time-out";
    EXPECT_FALSE(Conn->Active());
    // Neither a further attempt nor the queued reads went out, and nothing of the exchange
    // is reported after the close: not its empty receive, not its reply event.
    EXPECT_TRUE(Pty.Receive(1, 100ms).empty());
    Ui.Pump();
    EXPECT_TRUE(Holding.empty());
    EXPECT_TRUE(Received.empty());
    EXPECT_EQ(Sent.size(), 1u);
}

} // namespace
} // namespace veltro::modbus::test
