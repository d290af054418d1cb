#include "modbus/ExpectedReply.h"
#include "modbus/ModbusFrames.h"
#include "support/PtyPair.h"
#include "support/RtuFrames.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace veltro::modbus;
using veltro::test::FromHex;
using Bytes = std::vector<std::uint8_t>;

namespace {

using veltro::test::Rtu;

Bytes Join(std::initializer_list<Bytes> Parts)
{
    Bytes All;
    for (const Bytes& P : Parts)
        All.insert(All.end(), P.begin(), P.end());
    return All;
}

struct LengthCase {
    const char* Name;
    std::string Request;    // without its CRC
    std::string ReplyStart; // the reply bytes received so far
    std::int32_t Length;
};

void PrintTo(const LengthCase& C, std::ostream* Os) { *Os << C.Name; }

class ReplyLength : public testing::TestWithParam<LengthCase> {};

TEST_P(ReplyLength, FollowsFromTheRequestAndTheReplyHeader)
{
    const LengthCase& C = GetParam();
    const Bytes Request = Rtu(C.Request);
    const Bytes Reply = FromHex(C.ReplyStart);
    EXPECT_EQ(ExpectedReplyLength(Request.data(), static_cast<std::int32_t>(Request.size()), Reply.data(),
                                  static_cast<std::int32_t>(Reply.size())),
              C.Length);
}

INSTANTIATE_TEST_SUITE_P(
    Functions, ReplyLength,
    testing::Values(
        LengthCase{"ReadCoils19", "11 01 0013 0013", "11 01 03", 8},
        LengthCase{"ReadDiscreteInputs8", "11 02 0000 0008", "11 02 01", 6},
        LengthCase{"ReadHoldingRegisters58", "79 03 0000 003A", "79 03 74", 121},
        LengthCase{"ReadInputRegisters1", "11 04 0008 0001", "11 04 02", 7},
        LengthCase{"ReadBeforeItsByteCount", "79 03 0000 003A", "79 03", ReplyLengthPending},
        LengthCase{"ReadWithAnotherByteCount", "79 03 0000 003A", "79 03 00", ReplyLengthUnknown},
        LengthCase{"WriteSingleCoil", "11 05 00AC FF00", "11 05", 8},
        LengthCase{"WriteSingleRegister", "11 06 0001 0003", "11 06", 8},
        LengthCase{"ReadExceptionStatus", "11 07", "11 07", 5},
        LengthCase{"DiagnosticsEchoes", "11 08 0000 A537", "11 08", 8},
        LengthCase{"CommEventCounter", "11 0B", "11 0B", 8},
        LengthCase{"WriteMultipleCoils", "11 0F 0013 000A 02 CD01", "11 0F", 8},
        LengthCase{"WriteMultipleRegisters", "11 10 0001 0002 04 000A 0102", "11 10", 8},
        LengthCase{"ReportServerId", "11 11", "11 11 05", 10},
        LengthCase{"ReportServerIdBeforeItsByteCount", "11 11", "11 11", ReplyLengthPending},
        LengthCase{"ReadFileRecord", "11 14 0E 06 0004 0001 0002 06 0003 0009 0002", "11 14 0C", 17},
        LengthCase{"WriteFileRecord", "11 15 0D 06 0004 0007 0003 06AF 04BE 100D", "11 15 0D", 18},
        LengthCase{"MaskWriteEchoes", "11 16 0004 00F2 0025", "11 16", 10},
        LengthCase{"ReadWriteRegisters", "11 17 0003 0006 000E 0003 06 00FF 00FF 00FF", "11 17 0C", 17},
        LengthCase{"FifoQueueCountsInAWord", "11 18 04DE", "11 18 00 06", 12},
        LengthCase{"FifoQueueBeforeItsCount", "11 18 04DE", "11 18 00", ReplyLengthPending},
        LengthCase{"UnknownFunctionByItsByteCount", "11 41 0102", "11 41 02", 7},
        LengthCase{"ExceptionReply", "79 03 0000 003A", "79 83", 5},
        LengthCase{"AnotherFunction", "79 03 0000 003A", "79 04 74", ReplyLengthUnknown},
        LengthCase{"ReadRequestTooShort", "11 03 00", "11 03 02", ReplyLengthUnknown},
        LengthCase{"OneByteTellsNothing", "79 03 0000 003A", "79", ReplyLengthPending}),
    [](const auto& Info) { return std::string(Info.param.Name); });

// Read two holding registers at server 17, and its reply.
const Bytes Request = Rtu("11 03 0000 0002");
const Bytes Reply = Rtu("11 03 04 0001 0002");
const Bytes Garbage = FromHex("7F 23 7E");

struct FindCase {
    const char* Name;
    Bytes Received;
    bool AcceptAnyServer;
    std::int32_t Offset;
    std::int32_t Length; // 0 (and offset 0): no reply found yet
    std::int32_t StillToCome = 0;
};

void PrintTo(const FindCase& C, std::ostream* Os) { *Os << C.Name; }

class FindReply : public testing::TestWithParam<FindCase> {};

TEST_P(FindReply, TakesTheFirstFrameThatChecksAtTheExpectedLengthAndTellsWhatLacks)
{
    const FindCase& C = GetParam();
    const TExpectedReply Expected(Request.data(), static_cast<std::int32_t>(Request.size()), C.AcceptAnyServer);
    const TFrameSpan Span = Expected.Find(C.Received.data(), static_cast<std::int32_t>(C.Received.size()));
    EXPECT_EQ(Span.Length, C.Length);
    EXPECT_EQ(Span.Offset, C.Offset);
    EXPECT_EQ(Expected.StillToCome(C.Received.data(), static_cast<std::int32_t>(C.Received.size())), C.StillToCome);
}

Bytes Damaged(Bytes Frame)
{
    Frame.back() ^= 0x5A;
    return Frame;
}

INSTANTIATE_TEST_SUITE_P(
    Arrivals, FindReply,
    testing::Values(FindCase{"ReplyAlone", Reply, false, 0, 9},
                    FindCase{"ReplyNotComplete", Bytes(Reply.begin(), Reply.end() - 1), false, 0, 0, 1},
                    FindCase{"ReplyHeaderOnly", Bytes(Reply.begin(), Reply.begin() + 3), false, 0, 0, 6},
                    FindCase{"GarbageBefore", Join({Garbage, Reply}), false, 3, 9},
                    FindCase{"EchoBefore", Join({Request, Reply}), false, 8, 9},
                    FindCase{"GarbageAfter", Join({Reply, Garbage}), false, 0, 9},
                    FindCase{"WrongCrc", Join({Damaged(Reply), Garbage}), false, 0, 0},
                    FindCase{"ExceptionReply", Rtu("11 83 02"), false, 0, 5},
                    FindCase{"AnotherStationThenOurs", Join({Rtu("12 03 04 0001 0002"), Reply}), false, 9, 9},
                    FindCase{"AnyStationWhenAccepted", Rtu("12 03 04 0001 0002"), true, 0, 9}),
    [](const auto& Info) { return std::string(Info.param.Name); });

} // namespace

namespace {

// Write one register: its normal reply is a copy of the request, as its echo is.
const Bytes Write = Rtu("11 06 0001 0003");

struct CopyCase {
    const char* Name;
    Bytes Received;
    bool Final;     // nothing more can come
    bool EchoTaken; // the echo was received and dropped before
    std::int32_t Offset;
    std::int32_t Length;
    bool EchoBefore;
};

void PrintTo(const CopyCase& C, std::ostream* Os) { *Os << C.Name; }

class ReplyThatCopiesTheRequest : public testing::TestWithParam<CopyCase> {};

TEST_P(ReplyThatCopiesTheRequest, IsToldFromTheEchoByWhatFollows)
{
    const CopyCase& C = GetParam();
    TExpectedReply Expected(Write.data(), static_cast<std::int32_t>(Write.size()), false);
    if (C.EchoTaken)
        Expected.EchoTaken();
    const TFrameSpan Span = Expected.Find(C.Received.data(), static_cast<std::int32_t>(C.Received.size()), C.Final);
    EXPECT_EQ(Span.Offset, C.Offset);
    EXPECT_EQ(Span.Length, C.Length);
    EXPECT_EQ(Span.EchoBefore, C.EchoBefore);
}

INSTANTIATE_TEST_SUITE_P(
    Arrivals, ReplyThatCopiesTheRequest,
    testing::Values(CopyCase{"CopyAloneWhileMoreMayCome", Write, false, false, 0, 0, false},
                    CopyCase{"CopyAloneOnceTheLineIsSilent", Write, true, false, 0, 8, false},
                    CopyCase{"CopyAloneAfterTheEchoWasTaken", Write, false, true, 0, 8, false},
                    CopyCase{"EchoThenReply", Join({Write, Write}), false, false, 8, 8, true},
                    CopyCase{"EchoThenException", Join({Write, Rtu("11 86 02")}), false, false, 8, 5, true}),
    [](const auto& Info) { return std::string(Info.param.Name); });

} // namespace
