// The client exchange against a scripted server on the far end of a pseudo-terminal:
// what goes on the line, how replies are classified, and what reaches the UI thread.

#include "integration/modbus/ClientFixture.h"
#include "support/PortFree.h"

#include "modbus/FieldwireError.h"
#include "platform/UiDispatcher.h"

#include <thread>

namespace veltro::modbus::test {
namespace {

using veltro::test::Hex;

// A reply of Count registers holding 1, 2, 3, ... with the given byte count field, padded
// with zero bytes up to that count.
Bytes RegisterReply(std::uint8_t Address, int Count, int ByteCount)
{
    Bytes Body{Address, 3, static_cast<std::uint8_t>(ByteCount)};
    for (int I = 1; I <= Count && 2 * I <= ByteCount; ++I) {
        Body.push_back(static_cast<std::uint8_t>(I >> 8));
        Body.push_back(static_cast<std::uint8_t>(I & 0xFF));
    }
    while (static_cast<int>(Body.size()) < 3 + ByteCount)
        Body.push_back(0);
    return Rtu(Hex(Body));
}

TRegValues Rising(int Count)
{
    TRegValues V;
    for (int I = 1; I <= Count; ++I)
        V.push_back(static_cast<std::uint16_t>(I));
    return V;
}

// Longer than the end-of-frame silence (20 ms at the defaults): the peer simulates the line
// going quiet between two frames.
void LineGap() { std::this_thread::sleep_for(60ms); }

using ClientExchange = ClientFixture;

TEST_F(ClientExchange, HoldingRegisterReadGoesOutAsFramedAndDeliversTheValues)
{
    Client.SetServerAddress(121);
    Open();
    EXPECT_EQ(Client.ReadHoldingRegisters(0, 58, 42), 0u);
    const Bytes Req = Request(8);
    EXPECT_EQ(Hex(Req), "79030000003ACFA1");
    const Bytes Reply = RegisterReply(121, 58, 116);
    Pty.Send(Reply);

    ASSERT_TRUE(WaitForHolding(1));
    const RegistersEvent& E = Holding[0];
    EXPECT_EQ(E.Info.ReplyStatus, rsSuccess);
    EXPECT_EQ(E.Info.ID, 0u);
    EXPECT_EQ(E.Info.ServerAddress, 121);
    EXPECT_EQ(E.Info.UserData, 42);
    EXPECT_EQ(E.Info.Attempts, 1u);
    EXPECT_EQ(E.Start, 0);
    EXPECT_EQ(E.Count, 58);
    EXPECT_EQ(E.Values, Rising(58));
    ASSERT_EQ(Sent.size(), 1u);
    EXPECT_EQ(Sent[0], Req);
    ASSERT_EQ(Received.size(), 1u);
    EXPECT_EQ(Received[0], Reply);
}

TEST_F(ClientExchange, AWrongChecksumIsNoReplyNotUnmatched)
{
    Open();
    Client.ReadHoldingRegisters(0, 2);
    Request(8);
    Bytes Reply = RegisterReply(Server, 2, 4);
    Reply.back() ^= 0x55;
    Pty.Send(Reply);
    ASSERT_TRUE(WaitForHolding(1));
    EXPECT_EQ(Holding[0].Info.ReplyStatus, rsNoReply);
    EXPECT_EQ(Holding[0].Values, TRegValues(2, 0));
    EXPECT_EQ(Holding[0].Count, 2);
}

TEST_F(ClientExchange, AFrameForAnotherStationDoesNotEndTheWait)
{
    Open();
    Client.ReadHoldingRegisters(10, 3);
    Request(8);
    const Bytes Stray = RegisterReply(Server + 1, 3, 6);
    Pty.Send(Stray);
    LineGap();
    const Bytes Reply = RegisterReply(Server, 3, 6);
    Pty.Send(Reply);
    ASSERT_TRUE(WaitForHolding(1));
    EXPECT_EQ(Holding[0].Info.ReplyStatus, rsSuccess);
    EXPECT_EQ(Holding[0].Info.Attempts, 1u);
    EXPECT_EQ(Holding[0].Values, Rising(3));
    EXPECT_EQ(Received, (std::vector<TFrameData>{Stray, Reply}));
}

struct ExceptionCase {
    std::uint8_t Code;
    std::uint8_t Known;
};

class ClientExceptionReply : public ClientFixture, public ::testing::WithParamInterface<ExceptionCase> {};

TEST_P(ClientExceptionReply, IsReportedWithZerosAndNeverRetried)
{
    Conn->SetMaxRetries(3);
    Open();
    Client.ReadHoldingRegisters(0, 4);
    Request(8);
    Pty.Send(Rtu(Hex({Server, 0x83, GetParam().Code})));
    ASSERT_TRUE(WaitForHolding(1));
    const TTransactionInfo& Info = Holding[0].Info;
    EXPECT_EQ(Info.ReplyStatus, rsException);
    EXPECT_EQ(Info.ExceptionCode, GetParam().Known);
    EXPECT_EQ(Info.RawExceptionCode, GetParam().Code);
    EXPECT_EQ(Info.Attempts, 1u);
    EXPECT_EQ(Holding[0].Values, TRegValues(4, 0));
    EXPECT_EQ(Sent.size(), 1u);
}

INSTANTIATE_TEST_SUITE_P(Codes, ClientExceptionReply,
                         ::testing::Values(ExceptionCase{2, 2}, ExceptionCase{8, 8}, ExceptionCase{9, 0}),
                         [](const auto& Info) { return "Code" + std::to_string(Info.param.Code); });

struct ByteCountCase {
    int Count;
    int ByteCount;
    std::uint8_t Status;
};

class ClientByteCount : public ClientFixture, public ::testing::WithParamInterface<ByteCountCase> {};

TEST_P(ClientByteCount, OfAHoldingRegisterReplyDecidesBetweenValuesAndZeros)
{
    const auto [Count, ByteCount, Status] = GetParam();
    Open();
    Client.ReadHoldingRegisters(0, static_cast<std::uint16_t>(Count));
    Request(8);
    Pty.Send(RegisterReply(Server, Count, ByteCount));
    ASSERT_TRUE(WaitForHolding(1));
    EXPECT_EQ(Holding[0].Info.ReplyStatus, Status);
    EXPECT_EQ(Holding[0].Values, Status == rsSuccess ? Rising(Count) : TRegValues(Count, 0));
}

INSTANTIATE_TEST_SUITE_P(Counts, ClientByteCount,
                         ::testing::Values(ByteCountCase{5, 10, rsSuccess},    // exact
                                           ByteCountCase{5, 11, rsSuccess},    // one odd byte too many
                                           ByteCountCase{5, 8, rsUnmatched},   // two bytes short
                                           ByteCountCase{5, 12, rsUnmatched}),  // a whole register too many
                         [](const auto& Info) {
                             return std::to_string(Info.param.Count) + "RegistersIn" +
                                    std::to_string(Info.param.ByteCount) + "Bytes";
                         });

TEST_F(ClientExchange, AByteCountThatClaimsMoreThanTheFrameCarriesIsUnmatched)
{
    // The count is right for the request, but the frame stops after one register: the second
    // would have to be read out of the checksum.
    Open();
    Client.ReadHoldingRegisters(0, 2);
    Request(8);
    Pty.Send(Rtu("11 03 04 00 07"));
    ASSERT_TRUE(WaitForHolding(1));
    EXPECT_EQ(Holding[0].Info.ReplyStatus, rsUnmatched);
    EXPECT_EQ(Holding[0].Values, TRegValues(2, 0));
}

class ClientEcho : public ClientFixture, public ::testing::WithParamInterface<bool> {};

TEST_P(ClientEcho, OfTheRequestIsNeverReportedAsReceived)
{
    const bool OneBlock = GetParam();
    Conn->SetEchoQueryBeforeReply(true);
    Open();
    Client.ReadHoldingRegisters(0, 2);
    const Bytes Echo = Request(8);
    const Bytes Reply = RegisterReply(Server, 2, 4);
    if (OneBlock) {
        Pty.Send(Concat(Echo, Reply));
    } else {
        Pty.Send(Echo);
        LineGap();
        Pty.Send(Reply);
    }
    ASSERT_TRUE(WaitForHolding(1));
    EXPECT_EQ(Holding[0].Info.ReplyStatus, rsSuccess);
    EXPECT_EQ(Holding[0].Values, Rising(2));
    EXPECT_EQ(Received, std::vector<TFrameData>{Reply});
}

INSTANTIATE_TEST_SUITE_P(Arrival, ClientEcho, ::testing::Values(false, true),
                         [](const auto& Info) { return Info.param ? "InOneBlock" : "ApartFromTheReply"; });

TEST_F(ClientExchange, WithoutEchoHandlingAnEchoIsTakenForTheReplyAndDisagrees)
{
    // A read request echoed back is a valid frame of the right function and address, so the
    // exchange ends on it; only the contents check tells it is no reply.
    Open();
    Client.ReadHoldingRegisters(0, 2);
    const Bytes Echo = Request(8);
    Pty.Send(Echo);
    ASSERT_TRUE(WaitForHolding(1));
    EXPECT_EQ(Holding[0].Info.ReplyStatus, rsUnmatched);
    EXPECT_EQ(Holding[0].Values, TRegValues(2, 0));
    EXPECT_EQ(Received, std::vector<TFrameData>{Echo});
}

TEST_F(ClientExchange, ABroadcastIsWrittenOnceAndRaisesNoEvent)
{
    Conn->SetTurnaroundDelay(30);
    Conn->SetMaxRetries(3);
    Client.SetServerAddress(0);
    TModbusClient Other;
    Other.SetServerAddress(Server);
    Other.SetConnection(Conn.get());
    int OtherEvents = 0;
    Other.OnHoldingRegistersRead = [&](TModbusClient&, TTransactionInfo& Info, std::uint16_t, std::uint16_t,
                                       const TRegValues&) {
        ++OtherEvents;
        EXPECT_EQ(Info.ID, 1u);
    };
    Open();
    Client.ReadHoldingRegisters(0, 1);
    Other.ReadHoldingRegisters(0, 1);
    const Bytes Broadcast = Request(8);
    EXPECT_EQ(Broadcast[0], 0);
    EXPECT_EQ(Hex(Request(8)), Hex(Rtu("11 03 00 00 00 01")));
    Pty.Send(RegisterReply(Server, 1, 2));
    ASSERT_TRUE(PumpUntil([&] { return OtherEvents == 1; }));
    EXPECT_TRUE(Holding.empty());
    ASSERT_EQ(Sent.size(), 2u);
    EXPECT_EQ(Sent[0], Broadcast);
    EXPECT_EQ(Received.size(), 1u);  // the broadcast waits for nothing
    Other.SetConnection(nullptr);
}

TEST_F(ClientExchange, TransactionNumbersCountPerConnectionAcrossClients)
{
    TModbusClient Second;
    Second.SetServerAddress(Server + 1);
    Second.SetConnection(Conn.get());
    std::vector<std::pair<std::uint8_t, std::uint32_t>> Seen;  // (address, ID) in delivery order
    auto Record = [&](TModbusClient& Sender, TTransactionInfo& Info, std::uint16_t, std::uint16_t,
                      const TRegValues&) {
        EXPECT_EQ(Sender.ServerAddress(), Info.ServerAddress);
        Seen.emplace_back(Info.ServerAddress, Info.ID);
    };
    Client.OnHoldingRegistersRead = Record;
    Second.OnHoldingRegistersRead = Record;
    Open();
    EXPECT_EQ(Client.ReadHoldingRegisters(0, 1), 0u);
    EXPECT_EQ(Second.ReadHoldingRegisters(0, 1), 1u);
    EXPECT_EQ(Client.ReadHoldingRegisters(0, 1), 2u);
    EXPECT_EQ(Second.ReadHoldingRegisters(0, 1), 3u);
    for (int I = 0; I < 4; ++I) {
        const Bytes Req = Request(8);
        ASSERT_EQ(Req.size(), 8u);
        Pty.Send(RegisterReply(Req[0], 1, 2));
    }
    ASSERT_TRUE(PumpUntil([&] { return Seen.size() == 4; }));
    EXPECT_EQ(Seen, (std::vector<std::pair<std::uint8_t, std::uint32_t>>{
                        {Server, 0}, {Server + 1, 1}, {Server, 2}, {Server + 1, 3}}));
    Second.SetConnection(nullptr);
}

TEST_F(ClientExchange, FramesAndRepliesReachTheUiThreadInTheOrderTheyHappened)
{
    std::vector<std::string> Order;
    Conn->OnFrameSend = [&](TModbusConnection&, const TFrameData&) { Order.push_back("send"); };
    Conn->OnFrameReceive = [&](TModbusConnection&, const TFrameData&) { Order.push_back("recv"); };
    Client.OnHoldingRegistersRead = [&](TModbusClient&, TTransactionInfo& Info, std::uint16_t, std::uint16_t,
                                        const TRegValues&) { Order.push_back("reply" + std::to_string(Info.ID)); };
    Open();
    Client.ReadHoldingRegisters(0, 1);
    Client.ReadHoldingRegisters(1, 1);
    for (int I = 0; I < 2; ++I) {
        Request(8);
        Pty.Send(RegisterReply(Server, 1, 2));
    }
    EXPECT_TRUE(Order.empty());  // nothing runs on the UI thread until it pumps
    ASSERT_TRUE(PumpUntil([&] { return Order.size() == 6; }));
    EXPECT_EQ(Order, (std::vector<std::string>{"send", "recv", "reply0", "send", "recv", "reply1"}));
}

TEST_F(ClientExchange, AWorkerErrorIsHandedOverAndTheWorkerCarriesOn)
{
    std::vector<std::string> Errors;
    auto Previous = platform::SetExceptionHandler(
        [&](std::exception_ptr E) { Errors.push_back(platform::ExceptionMessage(E)); });
    Open();
    // A request too big for any line frame cannot be encoded.
    auto Oversized = std::make_unique<TModbusTransaction>(400);
    Oversized->Info.ServerAddress = Server;
    Oversized->Request.SetSize(300);
    Conn->QueueTransaction(std::move(Oversized));
    Client.ReadHoldingRegisters(0, 1);
    ASSERT_TRUE(PumpUntil([&] { return !Errors.empty(); }));
    EXPECT_EQ(Errors, std::vector<std::string>{messages::SEncodeFrameFailed});
    Request(8);
    Pty.Send(RegisterReply(Server, 1, 2));
    ASSERT_TRUE(WaitForHolding(1));
    EXPECT_EQ(Holding[0].Info.ReplyStatus, rsSuccess);
    EXPECT_EQ(Holding[0].Info.ID, 0u);
    platform::SetExceptionHandler(Previous);
}

TEST_F(ClientExchange, ClosingWhileTheWorkerWaitsOnAnErrorReportDoesNotDeadlock)
{
    std::vector<std::string> Errors;
    auto Previous = platform::SetExceptionHandler(
        [&](std::exception_ptr E) { Errors.push_back(platform::ExceptionMessage(E)); });
    Open();
    auto Oversized = std::make_unique<TModbusTransaction>(400);
    Oversized->Info.ServerAddress = Server;
    Oversized->Request.SetSize(300);
    Conn->QueueTransaction(std::move(Oversized));
    Client.ReadHoldingRegisters(0, 1);
    // Do not pump: the worker now blocks in its hand-over until the UI thread serves it.
    const auto Deadline = std::chrono::steady_clock::now() + 5s;
    while (Ui.HandOverRequests.load() == 0 && std::chrono::steady_clock::now() < Deadline)
        std::this_thread::yield();
    ASSERT_EQ(Ui.HandOverRequests.load(), 1);
    Conn->SetActive(false);
    EXPECT_FALSE(Conn->Active());
    EXPECT_EQ(Errors, std::vector<std::string>{messages::SEncodeFrameFailed});
    // The read queued behind the failure was freed by the close or finished before it; either
    // way nothing of it is delivered now that the connection is closed.
    Ui.Pump();
    EXPECT_TRUE(Holding.empty());
    platform::SetExceptionHandler(Previous);
}

TEST_F(ClientExchange, DestroyingTheConnectionInsideItsWorkersErrorReportNeitherHangsNorCrashes)
{
    // A modal error box runs an event loop: the window, and the connection with it, may be
    // closed from inside the report the worker waits for.
    auto Previous = platform::SetExceptionHandler([&](std::exception_ptr) { Conn.reset(); });
    Open();
    auto Oversized = std::make_unique<TModbusTransaction>(400);
    Oversized->Info.ServerAddress = Server;
    Oversized->Request.SetSize(300);
    Conn->QueueTransaction(std::move(Oversized));
    ASSERT_TRUE(PumpUntil([&] { return Conn == nullptr; }));
    EXPECT_TRUE(PumpUntil([&] { return veltro::test::PortFree("COM1", &Ui); })) << "the port was closed";
    platform::SetExceptionHandler(Previous);
}

TEST_F(ClientExchange, AFinishedTransactionDeliveredAfterReopeningIsDropped)
{
    Open();
    Client.ReadHoldingRegisters(0, 1);
    Request(8);
    Pty.Send(RegisterReply(Server, 1, 2));
    // Wait until the worker has posted the reply, without delivering it.
    const auto Deadline = std::chrono::steady_clock::now() + 5s;
    while (Ui.PendingPosts() < 2 && std::chrono::steady_clock::now() < Deadline)
        std::this_thread::yield();
    // The sent frame, then the received frame together with the finished transaction.
    ASSERT_EQ(Ui.PendingPosts(), 2u);
    Conn->SetActive(false);
    Open();
    Ui.Pump();
    EXPECT_TRUE(Holding.empty());
    EXPECT_EQ(Sent.size(), 1u);  // frames are still shown after the close
    EXPECT_EQ(Received.size(), 1u);
}

Bytes Text(const std::string& S) { return Bytes(S.begin(), S.end()); }

TEST_F(ClientExchange, AsciiFramingCarriesTheSameExchange)
{
    Conn->SetTransmissionMode(tmASCII);
    Open();
    Client.ReadHoldingRegisters(0, 2);
    EXPECT_EQ(Request(17), Text(":110300000002EA\r\n"));
    const Bytes Reply = Text(":11030400010002E5\r\n");
    Pty.Send(Reply);
    ASSERT_TRUE(WaitForHolding(1));
    EXPECT_EQ(Holding[0].Info.ReplyStatus, rsSuccess);
    EXPECT_EQ(Holding[0].Values, Rising(2));
    EXPECT_EQ(Received, std::vector<TFrameData>{Reply});
}

TEST_F(ClientExchange, AGarbledAsciiReplyIsNoReplyAndStillRaisesTheEvent)
{
    // Line noise inside the hex digits: the attempt failed like one with a bad checksum, and
    // the caller still hears of its read.
    std::vector<std::string> Errors;
    auto Previous = platform::SetExceptionHandler(
        [&](std::exception_ptr E) { Errors.push_back(platform::ExceptionMessage(E)); });
    Conn->SetTransmissionMode(tmASCII);
    Conn->SetMaxRetries(2);
    Open();
    Client.ReadHoldingRegisters(0, 2);
    Request(17);
    Pty.Send(Text(":1103040G010002E5\r\n"));
    Request(17);  // repeated
    Pty.Send(Text(":11030400010002E5\r\n"));
    ASSERT_TRUE(WaitForHolding(1));
    EXPECT_EQ(Holding[0].Info.ReplyStatus, rsSuccess);
    EXPECT_EQ(Holding[0].Info.Attempts, 2u);
    EXPECT_TRUE(Errors.empty());
    platform::SetExceptionHandler(Previous);
}

TEST_F(ClientExchange, DeliveriesPendingWhenTheConnectionGoesAreDropped)
{
    Open();
    Client.ReadHoldingRegisters(0, 1);
    Request(8);
    Pty.Send(RegisterReply(Server, 1, 2));
    const auto Deadline = std::chrono::steady_clock::now() + 5s;
    while (Ui.PendingPosts() < 2 && std::chrono::steady_clock::now() < Deadline)
        std::this_thread::yield();
    ASSERT_EQ(Ui.PendingPosts(), 2u);
    Conn.reset();
    Ui.Pump();
    EXPECT_TRUE(Holding.empty());
    EXPECT_TRUE(Sent.empty());
}

TEST_F(ClientExchange, AServerModeWorkerStopsPromptlyOnClose)
{
    Conn->SetConnectionMode(cmServer);
    Open();
    const auto Start = std::chrono::steady_clock::now();
    Conn->SetActive(false);
    EXPECT_LT(std::chrono::steady_clock::now() - Start, 1s);
}

} // namespace
} // namespace veltro::modbus::test
