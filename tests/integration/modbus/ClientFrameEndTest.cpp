// Where a client's RTU reply ends at 9600 bit/s, where the line must fall silent for 188 ms
// before a frame counts as ended: with expected-length framing a reply ends as soon as it is
// complete, wherever stray bytes or the request's echo put it. The peer writes from the
// plain master fd of a pseudo-terminal; its pauses stand for line time.

#include "integration/modbus/ClientFixture.h"

#include <thread>

namespace veltro::modbus::test {
namespace {

using veltro::test::FromHex;
using Part = std::pair<std::chrono::milliseconds, Bytes>;  // pause before it, bytes

// The read below (two registers from 0 at server 17), its echo and its reply.
const Bytes Echo = Rtu("11 03 0000 0002");
const Bytes Reply = Rtu("11 03 04 0001 0002");
const Bytes Garbage = FromHex("7F 23 7E");
const Bytes Exception = Rtu("11 83 02");

Bytes Damaged(Bytes Frame)
{
    Frame.back() ^= 0x5A;
    return Frame;
}

Bytes Slice(const Bytes& B, std::size_t From, std::size_t To) { return Bytes(B.begin() + From, B.begin() + To); }

struct FrameEndCase {
    const char* Name;
    TFrameEnd Rule;
    bool EchoHandling;
    std::vector<Part> Script;
    std::uint8_t Status;
    std::vector<TFrameData> Received;  // what OnFrameReceive reported
};

void PrintTo(const FrameEndCase& C, std::ostream* Os) { *Os << C.Name; }

class ClientFrameEnd : public ClientFixture, public ::testing::WithParamInterface<FrameEndCase> {
protected:
    void SetUp() override
    {
        ClientFixture::SetUp();
        Conn->SetBaudRate(br9600);
        Conn->SetSilentInterval(200);
    }
};

// 60 ms is well under the 188 ms silence: only a frame that ended early keeps what follows out.
TEST_P(ClientFrameEnd, OfOneRead)
{
    const FrameEndCase& C = GetParam();
    EXPECT_EQ(Conn->FrameEnd(), feSilence) << "the default";
    Conn->SetFrameEnd(C.Rule);
    Conn->SetEchoQueryBeforeReply(C.EchoHandling);
    Open();
    Client.ReadHoldingRegisters(0, 2);
    ASSERT_EQ(Request(8), Echo);
    for (const auto& [Pause, Piece] : C.Script) {
        std::this_thread::sleep_for(Pause);
        Pty.Send(Piece);
    }
    ASSERT_TRUE(WaitForHolding(1));
    EXPECT_EQ(Holding[0].Info.ReplyStatus, C.Status);
    EXPECT_EQ(Holding[0].Info.Attempts, 1u);
    EXPECT_EQ(Received, C.Received);

    // Whatever trailed the first reply does not spoil the next exchange.
    Client.ReadHoldingRegisters(0, 2);
    ASSERT_EQ(Request(8), Echo);
    Pty.Send(Reply);
    ASSERT_TRUE(WaitForHolding(2));
    EXPECT_EQ(Holding[1].Info.ReplyStatus, rsSuccess);
    EXPECT_EQ(Received.back(), Reply);
}

INSTANTIATE_TEST_SUITE_P(
    Arrivals, ClientFrameEnd,
    ::testing::Values(
        FrameEndCase{"InTwoPartsWithA100msGap", feExpectedLength, false,
                     {{0ms, Slice(Reply, 0, 4)}, {100ms, Slice(Reply, 4, Reply.size())}}, rsSuccess, {Reply}},
        FrameEndCase{"GarbageAfterTheCrc", feExpectedLength, false, {{0ms, Reply}, {60ms, Garbage}}, rsSuccess,
                     {Reply}},
        FrameEndCase{"GarbageAfterTheCrcInOneBlock", feExpectedLength, false, {{0ms, Concat(Reply, Garbage)}},
                     rsSuccess, {Reply}},
        FrameEndCase{"WrongCrcThenMoreBytesEndsAtTheSilence", feExpectedLength, false,
                     {{0ms, Damaged(Reply)}, {60ms, Garbage}}, rsNoReply, {Concat(Damaged(Reply), Garbage)}},
        FrameEndCase{"GarbageBeforeTheReply", feExpectedLength, false, {{0ms, Garbage}, {60ms, Reply}}, rsSuccess,
                     {Reply}},
        FrameEndCase{"ExceptionReply", feExpectedLength, false, {{0ms, Exception}, {60ms, Garbage}}, rsException,
                     {Exception}},
        FrameEndCase{"EchoThenReplyWithoutEchoHandling", feExpectedLength, false, {{0ms, Echo}, {60ms, Reply}},
                     rsSuccess, {Reply}},
        FrameEndCase{"EchoThenReplyWithEchoHandling", feExpectedLength, true, {{0ms, Echo}, {60ms, Reply}},
                     rsSuccess, {Reply}},
        FrameEndCase{"EchoThenAfterASilenceReplyWithEchoHandling", feExpectedLength, true,
                     {{0ms, Echo}, {300ms, Reply}}, rsSuccess, {Reply}},
        FrameEndCase{"SilenceRuleTakesTrailingGarbageIntoTheFrame", feSilence, false,
                     {{0ms, Reply}, {60ms, Garbage}}, rsNoReply, {Concat(Reply, Garbage)}}),
    [](const auto& Info) { return std::string(Info.param.Name); });

// A write of one register is answered with a copy of the request, so its reply cannot be
// told from the echo by its bytes: only by what follows.
const Bytes Write = Rtu("11 06 0001 0003");
const Bytes WriteException = Rtu("11 86 02");

struct WriteCase {
    const char* Name;
    bool EchoHandling;
    std::vector<Part> Script;
    std::uint8_t Status;
    std::vector<TFrameData> Received;
};

void PrintTo(const WriteCase& C, std::ostream* Os) { *Os << C.Name; }

class WriteEcho : public ClientFixture, public ::testing::WithParamInterface<WriteCase> {};

TEST_P(WriteEcho, IsSkippedAndTheReplyBehindItRead)
{
    const WriteCase& C = GetParam();
    Conn->SetBaudRate(br9600);
    Conn->SetSilentInterval(200);
    Conn->SetFrameEnd(feExpectedLength);
    Conn->SetEchoQueryBeforeReply(C.EchoHandling);
    std::vector<TTransactionInfo> Done;
    Client.OnSingleRegisterWrite = [&](TModbusClient&, TTransactionInfo& Info, std::uint16_t, std::uint16_t) {
        Done.push_back(Info);
    };
    Open();
    Client.WriteSingleRegister(1, 3);
    ASSERT_EQ(Request(8), Write);
    for (const auto& [Pause, Piece] : C.Script) {
        std::this_thread::sleep_for(Pause);
        Pty.Send(Piece);
    }
    ASSERT_TRUE(PumpUntil([&] { return !Done.empty(); }));
    EXPECT_EQ(Done[0].ReplyStatus, C.Status);
    EXPECT_EQ(Received, C.Received);
}

INSTANTIATE_TEST_SUITE_P(
    Arrivals, WriteEcho,
    ::testing::Values(
        WriteCase{"EchoAndReplyInOneReadWithEchoHandling", true, {{0ms, Concat(Write, Write)}}, rsSuccess, {Write}},
        WriteCase{"EchoThenReplyWithEchoHandling", true, {{0ms, Write}, {60ms, Write}}, rsSuccess, {Write}},
        WriteCase{"EchoThenExceptionWithoutEchoHandling", false, {{0ms, Write}, {60ms, WriteException}}, rsException,
                  {WriteException}},
        WriteCase{"ReplyAloneWithoutEchoHandling", false, {{0ms, Write}}, rsSuccess, {Write}}),
    [](const auto& Info) { return std::string(Info.param.Name); });

// A module that answers a request only after its time-out: its late reply has the same
// address, function and length as the next read's, and must never be taken for it.
class LateReply : public ClientFixture {
protected:
    void SetUp() override
    {
        ClientFixture::SetUp();
        Conn->SetBaudRate(br9600);
        Conn->SetSilentInterval(200);  // 188 ms of silence end a burst
        Conn->SetReceiveTimeout(300);
        Conn->SetFrameEnd(feExpectedLength);
        Open();
        Client.ReadHoldingRegisters(0, 2);
        EXPECT_EQ(Request(8), Rtu("11 03 0000 0002"));
        EXPECT_TRUE(WaitForHolding(1));
        EXPECT_EQ(Holding[0].Info.ReplyStatus, rsNoReply);
    }

    const Bytes FirstReply = Rtu("11 03 04 0001 0002");
    const Bytes SecondRequest = Rtu("11 03 0002 0002");
    const Bytes SecondReply = Rtu("11 03 04 0003 0004");
};

TEST_F(LateReply, StillArrivingWhenTheNextRequestIsDueIsWaitedOutAndDropped)
{
    Pty.Send(Slice(FirstReply, 0, 4));
    Client.ReadHoldingRegisters(2, 2);
    EXPECT_TRUE(Pty.Receive(8, 100ms).empty()) << "no request over a reply still coming";
    Pty.Send(Slice(FirstReply, 4, FirstReply.size()));
    ASSERT_EQ(Request(8), SecondRequest) << "the next request goes out once the line is quiet";
    Pty.Send(SecondReply);
    ASSERT_TRUE(WaitForHolding(2));
    EXPECT_EQ(Holding[1].Info.ReplyStatus, rsSuccess);
    EXPECT_EQ(Holding[1].Values, (TRegValues{3, 4}));
}

TEST_F(LateReply, ArrivingBehindTheNextRequestIsNeverTakenForItsReply)
{
    Client.ReadHoldingRegisters(2, 2);
    ASSERT_EQ(Request(8), SecondRequest);
    Pty.Send(FirstReply);
    std::this_thread::sleep_for(20ms);
    Pty.Send(SecondReply);
    ASSERT_TRUE(WaitForHolding(2));
    EXPECT_EQ(Holding[1].Info.ReplyStatus, rsNoReply) << "two frames in one burst: no telling which is the reply";
    EXPECT_EQ(Received.back(), Concat(FirstReply, SecondReply));

    // The line settles again: the next reply that comes alone is read.
    Client.ReadHoldingRegisters(2, 2);
    ASSERT_EQ(Request(8), SecondRequest);
    Pty.Send(SecondReply);
    ASSERT_TRUE(WaitForHolding(3));
    EXPECT_EQ(Holding[2].Info.ReplyStatus, rsSuccess);
    EXPECT_EQ(Holding[2].Values, (TRegValues{3, 4}));
}

TEST_F(LateReply, StillComingWhenTheTimeRunsOutIsWaitedOutNotCut)
{
    // The line is settled again first, so the reply ends as soon as it is complete.
    Client.ReadHoldingRegisters(2, 2);
    ASSERT_EQ(Request(8), SecondRequest);
    Pty.Send(SecondReply);
    ASSERT_TRUE(WaitForHolding(2));

    // Begun 200 ms into the 300 ms receive time, ended 150 ms later, after it ran out.
    Client.ReadHoldingRegisters(2, 2);
    ASSERT_EQ(Request(8), SecondRequest);
    std::this_thread::sleep_for(200ms);
    Pty.Send(Slice(SecondReply, 0, 4));
    std::this_thread::sleep_for(150ms);
    Pty.Send(Slice(SecondReply, 4, SecondReply.size()));
    ASSERT_TRUE(WaitForHolding(3));
    EXPECT_EQ(Holding[2].Info.ReplyStatus, rsSuccess);
    EXPECT_EQ(Holding[2].Values, (TRegValues{3, 4}));
}

}  // namespace
}  // namespace veltro::modbus::test
