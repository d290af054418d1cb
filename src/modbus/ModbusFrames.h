#pragma once

#include "modbus/ModbusBuffer.h"
#include "modbus/ModbusTypes.h"

#include <cstdint>

namespace veltro::modbus {

// Layout of a frame in a buffer, both framings: byte 0 server address, byte 1 function code,
// then data, then the checksum (RTU: CRC-16 low byte first; ASCII: one LRC byte).

// CRC-16/MODBUS (reflected 0xA001, initial 0xFFFF) of bytes 0..Position-1.
std::uint16_t Crc16(const TModbusBuffer& Buffer);
std::uint16_t Crc16(const std::uint8_t* Data, std::int32_t Count);

// Two's-complement negation of the byte sum, of bytes 0..Position-1.
std::uint8_t Lrc(const TModbusBuffer& Buffer);
std::uint8_t Lrc(const std::uint8_t* Data, std::int32_t Count);

// Appends the framing's checksum at Position, covering address, function code and data.
void AppendChecksum(TTransmissionMode Mode, TModbusBuffer& Buffer);

// Bytes 0..Size-1 of Buffer to line bytes in Raw; returns the line length (0 for an empty
// buffer). Raises "Failed to encode frame" rather than truncating.
std::int32_t EncodeFrame(TTransmissionMode Mode, const TModbusBuffer& Buffer, std::uint8_t* Raw,
                         std::int32_t RawCapacity);

// Received line bytes to a frame in Buffer (checksum kept as the last bytes). An empty
// reception leaves the buffer empty. A broken ASCII framing raises EAssertionFailed.
void DecodeFrame(TTransmissionMode Mode, const std::uint8_t* Raw, std::int32_t Length,
                 TModbusBuffer& Buffer);

// Long enough for this side and the checksum agrees. A wrong checksum is not an error.
bool IsValidFrame(TTransmissionMode Mode, TConnectionMode Side, TModbusBuffer& Buffer);

// Exactly the exception-reply size and a function code above 0x80.
bool IsExceptionReply(TTransmissionMode Mode, TModbusBuffer& Buffer);

struct TExceptionCode {
    std::uint8_t Known; // 1..8, or 0 for a code the protocol does not define
    std::uint8_t Raw;   // as received
};
TExceptionCode GetExceptionCode(TModbusBuffer& Reply);

// The reply answers the request when its function code without the exception flag is the
// request's and, unless any server is accepted, it comes from the addressed server.
bool ReplyMatchesRequest(TModbusBuffer& Request, TModbusBuffer& Reply, bool AcceptAnyServer);

std::uint8_t GetFrameAddress(TModbusBuffer& Buffer);
std::uint8_t GetFunctionCode(TModbusBuffer& Buffer);

// Server side: replaces the contents of Reply with a complete exception reply.
void BuildExceptionReply(TTransmissionMode Mode, TModbusBuffer& Reply, std::uint8_t ServerAddress,
                         std::uint8_t FunctionCode, std::uint8_t ExceptionCode);

} // namespace veltro::modbus
