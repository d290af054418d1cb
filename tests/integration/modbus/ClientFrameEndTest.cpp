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

}  // namespace
}  // namespace veltro::modbus::test
