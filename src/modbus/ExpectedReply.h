#pragma once
// Where an RTU reply ends, from the request it answers. RTU has no end-of-frame marker, so
// a client that knows only the line waits for the line to fall silent after every reply.
// The request tells most of what the reply must look like: its address, its function and,
// for most functions, its length (or where in the reply the length is written). With that
// a reply can be taken as soon as its last byte is in and its CRC checks, and a reply that
// follows stray bytes or the request's own echo can be found further in.
//
// Plain computation over byte arrays; no I/O.

#include <cstdint>

namespace veltro::modbus {

// ExpectedReplyLength results besides a length.
inline constexpr std::int32_t ReplyLengthPending = 0;  // more of the reply must arrive first
inline constexpr std::int32_t ReplyLengthUnknown = -1; // these bytes do not tell it

// The length (address to CRC) of the RTU reply to Request that begins with the Received
// bytes of Reply. Request is the whole request frame, CRC included.
// - exception reply (function code with the top bit set): 5;
// - read coils / discrete inputs: 5 + the request's count in bytes, 8 to a byte;
// - read holding / input registers: 5 + 2 x the request's count;
// - single and multiple writes, communication event counter: 8; exception status: 5;
// - diagnostics and mask write: the echo of the request, as long as the request;
// - FIFO queue: 6 + its two-byte byte count;
// - every other function (server ID, file records, read/write registers, event log and
//   functions this library does not know): 5 + the byte count at offset 2, a guess that
//   holds for every function with a byte count there and that the CRC confirms or not.
// Unknown when Reply does not carry the request's function code, when a read reply's byte
// count is not the one the request asked for (the echo of a read request is no reply), or
// when the request is too short for its function; pending while fewer bytes are in than
// the length needs.
std::int32_t ExpectedReplyLength(const std::uint8_t* Request, std::int32_t RequestSize,
                                 const std::uint8_t* Reply, std::int32_t Received);

// A frame inside the bytes received: Bytes[Offset .. Offset + Length). Length 0: none.
// EchoBefore: the bytes before it begin with a byte-exact copy of the request.
struct TFrameSpan {
    std::int32_t Offset = 0;
    std::int32_t Length = 0;
    bool EchoBefore = false;
};

// The reply a client waits for after sending Request. It refers to the request's bytes,
// which must outlive it.
class TExpectedReply {
public:
    // AcceptAnyServer: a reply from any address will do (else only from the addressed one).
    TExpectedReply(const std::uint8_t* Request, std::int32_t RequestSize, bool AcceptAnyServer);

    // The first complete reply in Bytes[0 .. Count): at the earliest offset that holds the
    // expected address and function followed by a frame of the expected length whose CRC
    // checks. Stray bytes, a frame for another station or the request's echo before it are
    // skipped; whatever follows it is left out. Length 0 while there is none.
    //
    // Functions 5, 6, 8 and 22 answer with a copy of the request, so their reply cannot be
    // told from the request's echo by its bytes. A copy at the start is taken for the echo
    // while anything follows it (an exception after an echo is an exception); alone, it is
    // the reply only once nothing more can come (Final: the line fell silent or the time is
    // up), or at once after EchoTaken.
    TFrameSpan Find(const std::uint8_t* Bytes, std::int32_t Count, bool Final = true) const;

    // The echo of the request has been received and dropped: a copy of the request is now
    // the reply itself.
    void EchoTaken() noexcept { FEchoTaken = true; }

    std::int32_t RequestSize() const noexcept { return FRequestSize; }

    // Whether Bytes[0 .. Count) may be the beginning of the reply: the expected address
    // (unless any will do) and, once it is in, the function code or its exception form.
    bool Begins(const std::uint8_t* Bytes, std::int32_t Count) const;

    // How many bytes the reply that begins at Bytes[0] still lacks; 0 when that is not
    // known (too little of it is in, or the bytes do not begin the reply) or nothing lacks.
    std::int32_t StillToCome(const std::uint8_t* Bytes, std::int32_t Count) const;

private:
    TFrameSpan FindFrom(const std::uint8_t* Bytes, std::int32_t Count, std::int32_t From) const;
    bool StartsWithRequest(const std::uint8_t* Bytes, std::int32_t Count) const;
    bool ReplyCopiesRequest() const;

    const std::uint8_t* FRequest;
    std::int32_t FRequestSize;
    bool FAcceptAnyServer;
    bool FEchoTaken = false;
};

} // namespace veltro::modbus
