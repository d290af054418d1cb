#pragma once

#include <cstdint>

namespace veltro::modbus {

// Serial framing on the line: RTU is binary with a CRC-16, ASCII is hexadecimal text with an LRC.
enum TTransmissionMode { tmRTU, tmASCII };

// Which side of the exchange this station plays; it decides the smallest frame worth checking.
enum TConnectionMode { cmClient, cmServer };

// How a client's RTU receive knows that a reply is complete. feSilence: the line fell silent
// for the inter-character timeout, whatever was sent. feExpectedLength: as soon as the reply
// the request calls for is in and its CRC checks; anything else still ends at the silence.
enum TFrameEnd { feSilence, feExpectedLength };

// Exception codes of the Modbus application protocol that the library knows (1..8).
inline constexpr std::uint8_t MaxKnownExceptionCode = 8;
inline constexpr std::uint8_t ExceptionFunctionFlag = 0x80;

// Capacity of a transaction's request and reply buffers: a serial ADU is at most 256 bytes;
// in ASCII the LRC is one byte, so the decoded frame is one byte shorter.
constexpr int FrameBufferCapacity(TTransmissionMode Mode) { return Mode == tmRTU ? 256 : 255; }

// Raw line buffer: RTU frames travel as they are; ASCII needs ':' + 2 digits per byte + CR LF.
constexpr int RawBufferSize(TTransmissionMode Mode) { return Mode == tmRTU ? 256 : 513; }

constexpr int ChecksumLength(TTransmissionMode Mode) { return Mode == tmRTU ? 2 : 1; }

// A client needs address, function, at least one data byte and the checksum; a server
// accepts a frame without data (address, function, checksum).
constexpr int MinValidFrameSize(TTransmissionMode Mode, TConnectionMode Side)
{
    if (Mode == tmRTU)
        return Side == cmClient ? 5 : 4;
    return Side == cmClient ? 4 : 3;
}

// Address, function | 0x80, exception code, checksum.
constexpr int ExceptionReplySize(TTransmissionMode Mode) { return Mode == tmRTU ? 5 : 4; }

// Serial driver queue sizes requested at open: a frame and a half of headroom.
constexpr int SerialQueueSize(TTransmissionMode Mode) { return Mode == tmRTU ? 384 : 768; }

} // namespace veltro::modbus
