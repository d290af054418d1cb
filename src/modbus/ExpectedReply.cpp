#include "modbus/ExpectedReply.h"

#include "modbus/ModbusBits.h"
#include "modbus/ModbusFrames.h"
#include "modbus/ModbusTypes.h"

#include <cstring>

namespace veltro::modbus {

namespace {

// Address, function, CRC: what every reply has around its data.
constexpr std::int32_t FrameOverhead = 4;

std::int32_t WordAt(const std::uint8_t* Bytes, std::int32_t Offset)
{
    return (Bytes[Offset] << 8) | Bytes[Offset + 1];
}

// Length of a read reply (byte count at offset 2) once the byte count is in, provided it is
// the count the request asked for.
std::int32_t ReadReplyLength(std::int32_t ByteCount, const std::uint8_t* Reply, std::int32_t Received)
{
    if (Received < 3)
        return ReplyLengthPending;
    return Reply[2] == ByteCount ? FrameOverhead + 1 + ByteCount : ReplyLengthUnknown;
}

bool CrcChecks(const std::uint8_t* Frame, std::int32_t Length)
{
    const std::uint16_t Sent = static_cast<std::uint16_t>(Frame[Length - 2] | (Frame[Length - 1] << 8));
    return Crc16(Frame, Length - 2) == Sent;
}

} // namespace

std::int32_t ExpectedReplyLength(const std::uint8_t* Request, std::int32_t RequestSize, const std::uint8_t* Reply,
                                 std::int32_t Received)
{
    if (RequestSize < 2)
        return ReplyLengthUnknown;
    if (Received < 2)
        return ReplyLengthPending;
    const std::uint8_t Function = Request[1];
    if (Reply[1] == (Function | ExceptionFunctionFlag))
        return ExceptionReplySize(tmRTU);
    if (Reply[1] != Function)
        return ReplyLengthUnknown;
    switch (Function) {
    case 1:
    case 2:
    case 3:
    case 4: {
        // Address, function, start, count, CRC.
        if (RequestSize < 8)
            return ReplyLengthUnknown;
        const std::int32_t Count = WordAt(Request, 4);
        const std::int32_t ByteCount = Function <= 2 ? BitByteCount(Count) : 2 * Count;
        return ReadReplyLength(ByteCount, Reply, Received);
    }
    case 5:
    case 6:
    case 11:
    case 15:
    case 16:
        return FrameOverhead + 4; // two words: address and value, start and count, status and count
    case 7:
        return FrameOverhead + 1; // the status byte
    case 8:
    case 22:
        return RequestSize;
    case 24:
        // The FIFO queue's byte count is a word.
        return Received < 4 ? ReplyLengthPending : FrameOverhead + 2 + WordAt(Reply, 2);
    default:
        return Received < 3 ? ReplyLengthPending : FrameOverhead + 1 + Reply[2];
    }
}

TExpectedReply::TExpectedReply(const std::uint8_t* Request, std::int32_t RequestSize, bool AcceptAnyServer)
    : FRequest(Request), FRequestSize(RequestSize), FAcceptAnyServer(AcceptAnyServer)
{
}

bool TExpectedReply::StartsWithRequest(const std::uint8_t* Bytes, std::int32_t Count) const
{
    return FRequestSize > 0 && Count >= FRequestSize
           && std::memcmp(Bytes, FRequest, static_cast<std::size_t>(FRequestSize)) == 0;
}

bool TExpectedReply::ReplyCopiesRequest() const
{
    if (FRequestSize < 2)
        return false;
    switch (FRequest[1]) {
    case 5: case 6: case 8: case 22: return true;
    default: return false;
    }
}

TFrameSpan TExpectedReply::Find(const std::uint8_t* Bytes, std::int32_t Count, bool Final) const
{
    if (FRequestSize < 1)
        return {};
    if (!FEchoTaken && ReplyCopiesRequest() && StartsWithRequest(Bytes, Count)) {
        TFrameSpan After = FindFrom(Bytes, Count, FRequestSize);
        if (After.Length > 0) {
            After.EchoBefore = true;
            return After;
        }
        // Nothing after the copy: on a line without echo the copy is the reply itself, as
        // long as it is one (a request with a broken checksum is no frame to answer with).
        const bool Whole = ExpectedReplyLength(FRequest, FRequestSize, Bytes, Count) == FRequestSize
                           && CrcChecks(Bytes, FRequestSize);
        return Final && Whole ? TFrameSpan{0, FRequestSize, false} : TFrameSpan{};
    }
    TFrameSpan Span = FindFrom(Bytes, Count, 0);
    Span.EchoBefore = Span.Length > 0 && Span.Offset >= FRequestSize && StartsWithRequest(Bytes, Count);
    return Span;
}

TFrameSpan TExpectedReply::FindFrom(const std::uint8_t* Bytes, std::int32_t Count, std::int32_t From) const
{
    const std::int32_t Smallest = MinValidFrameSize(tmRTU, cmClient);
    for (std::int32_t Offset = From; Count - Offset >= Smallest; ++Offset) {
        if (!FAcceptAnyServer && Bytes[Offset] != FRequest[0])
            continue;
        const std::int32_t Left = Count - Offset;
        const std::int32_t Length = ExpectedReplyLength(FRequest, FRequestSize, Bytes + Offset, Left);
        if (Length >= Smallest && Length <= Left && CrcChecks(Bytes + Offset, Length))
            return {Offset, Length};
    }
    return {};
}

bool TExpectedReply::Begins(const std::uint8_t* Bytes, std::int32_t Count) const
{
    if (Count < 1 || FRequestSize < 2 || (!FAcceptAnyServer && Bytes[0] != FRequest[0]))
        return false;
    return Count < 2 || (Bytes[1] & ~ExceptionFunctionFlag) == FRequest[1];
}

std::int32_t TExpectedReply::StillToCome(const std::uint8_t* Bytes, std::int32_t Count) const
{
    if (Count < 1 || FRequestSize < 1 || (!FAcceptAnyServer && Bytes[0] != FRequest[0]))
        return 0;
    const std::int32_t Length = ExpectedReplyLength(FRequest, FRequestSize, Bytes, Count);
    return Length > Count ? Length - Count : 0;
}

} // namespace veltro::modbus
