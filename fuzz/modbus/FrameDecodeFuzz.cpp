// Received line bytes through the frame checks the worker applies to every reply: decoding,
// checksum and size checks, exception recognition and request matching, in both framings,
// and in RTU the search for the expected reply that ends a frame early.
// Whatever arrives, these must either succeed or raise the library's errors, never touch
// memory outside the buffers, and keep the buffer invariant.

#include "modbus/ExpectedReply.h"
#include "modbus/FieldwireError.h"
#include "modbus/ModbusBuffer.h"
#include "modbus/ModbusFrames.h"
#include "modbus/ModbusTypes.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

using namespace veltro::modbus;

namespace {

void Check(bool Condition)
{
    if (!Condition)
        std::abort();
}

void CheckInvariant(const TModbusBuffer& B)
{
    Check(0 <= B.Position() && B.Position() <= B.Size() && B.Size() <= B.Capacity());
}

// Decodes into Buffer; false when the library refused the bytes.
bool Decode(TTransmissionMode Mode, const std::uint8_t* Raw, std::int32_t Length, TModbusBuffer& Buffer)
{
    try {
        DecodeFrame(Mode, Raw, Length, Buffer);
    } catch (const EFieldwireError&) {
        CheckInvariant(Buffer);
        return false;
    } catch (const EAssertionFailed&) {
        CheckInvariant(Buffer);
        return false;
    }
    CheckInvariant(Buffer);
    return true;
}

void Classify(TTransmissionMode Mode, TConnectionMode Side, TModbusBuffer& Request, TModbusBuffer& Reply,
              bool AcceptAnyServer)
{
    try {
        const bool Valid = IsValidFrame(Mode, Side, Reply);
        CheckInvariant(Reply);
        if (Valid)
            Check(Reply.Size() >= MinValidFrameSize(Mode, Side));
        if (IsExceptionReply(Mode, Reply)) {
            Check(Reply.Size() == ExceptionReplySize(Mode));
            const TExceptionCode Code = GetExceptionCode(Reply);
            Check(Code.Known <= MaxKnownExceptionCode);
            Check(Code.Known == 0 || Code.Known == Code.Raw);
        }
        const bool Matches = ReplyMatchesRequest(Request, Reply, AcceptAnyServer);
        if (Matches)
            Check(Reply.Size() >= 2 && Request.Size() >= 2);
    } catch (const EFieldwireError&) {
        // Cursor moves on short frames are allowed to fail with the library's error.
    }
    CheckInvariant(Request);
    CheckInvariant(Reply);
}

// A frame that decoded encodes back to line bytes that decode to the same frame.
void RoundTrip(TTransmissionMode Mode, const TModbusBuffer& Frame, const std::uint8_t* Raw, std::int32_t Length)
{
    if (Frame.Size() == 0)
        return;
    std::vector<std::uint8_t> Encoded(static_cast<std::size_t>(RawBufferSize(Mode)));
    const std::int32_t N = EncodeFrame(Mode, Frame, Encoded.data(), static_cast<std::int32_t>(Encoded.size()));
    if (Mode == tmRTU) {
        Check(N == Length && std::memcmp(Encoded.data(), Raw, static_cast<std::size_t>(N)) == 0);
        return;
    }
    TModbusBuffer Again(FrameBufferCapacity(Mode));
    Check(Decode(Mode, Encoded.data(), N, Again));
    Check(Again.Size() == Frame.Size());
    Check(std::memcmp(Again.Data(), Frame.Data(), static_cast<std::size_t>(Frame.Size())) == 0);
}

// A reply found in the received bytes lies inside them, carries the request's address (unless
// any server will do) and function, has the length the request calls for and a CRC that checks.
void FindReply(const std::uint8_t* Request, std::int32_t RequestSize, const std::uint8_t* Received,
               std::int32_t Count, bool AcceptAnyServer)
{
    const TExpectedReply Expected(Request, RequestSize, AcceptAnyServer);
    const TFrameSpan Span = Expected.Find(Received, Count);
    Check(Expected.StillToCome(Received, Count) >= 0);
    if (Span.Length == 0) {
        Check(Span.Offset == 0);
        return;
    }
    Check(Span.Offset >= 0 && Span.Length >= MinValidFrameSize(tmRTU, cmClient) && Span.Offset + Span.Length <= Count);
    const std::uint8_t* Frame = Received + Span.Offset;
    Check(AcceptAnyServer || Frame[0] == Request[0]);
    Check((Frame[1] & 0x7F) == (Request[1] & 0x7F));
    Check(ExpectedReplyLength(Request, RequestSize, Frame, Span.Length) == Span.Length);
    const std::uint16_t Crc = Crc16(Frame, Span.Length - 2);
    Check(Frame[Span.Length - 2] == (Crc & 0xFF) && Frame[Span.Length - 1] == (Crc >> 8));
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* Data, std::size_t Size)
{
    if (Size < 2)
        return 0;
    // Byte 0 chooses the framing, the side and the matching rule; byte 1 how many of the
    // following bytes form the request (the rest is the reply as received).
    const TTransmissionMode Mode = (Data[0] & 1) ? tmASCII : tmRTU;
    const TConnectionMode Side = (Data[0] & 2) ? cmServer : cmClient;
    const bool AcceptAnyServer = (Data[0] & 4) != 0;
    const std::size_t RequestLength = std::min<std::size_t>(Data[1], Size - 2);
    const std::uint8_t* RequestRaw = Data + 2;
    const std::uint8_t* ReplyRaw = RequestRaw + RequestLength;
    const auto ReplyLength = static_cast<std::int32_t>(Size - 2 - RequestLength);

    TModbusBuffer Request(FrameBufferCapacity(Mode));
    TModbusBuffer Reply(FrameBufferCapacity(Mode));
    Decode(Mode, RequestRaw, static_cast<std::int32_t>(RequestLength), Request);
    if (Decode(Mode, ReplyRaw, ReplyLength, Reply))
        RoundTrip(Mode, Reply, ReplyRaw, ReplyLength);
    Classify(Mode, Side, Request, Reply, AcceptAnyServer);
    if (Mode == tmRTU)
        FindReply(RequestRaw, static_cast<std::int32_t>(RequestLength), ReplyRaw, ReplyLength, AcceptAnyServer);

    // The server strips an echoed request this way; the cursor may be anywhere.
    if (Reply.Size() > 0) {
        Reply.SetPosition(static_cast<std::int32_t>(Data[0] >> 3) % (Reply.Size() + 1));
        Reply.DiscardBeforePosition();
        CheckInvariant(Reply);
    }
    return 0;
}
