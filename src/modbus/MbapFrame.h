#pragma once
// Modbus TCP frames (the ADU of a "protocol" gateway): a seven-byte MBAP header, then the
// PDU. The header carries a transaction identifier the server copies into its reply, a
// protocol identifier that is always 0, the length of what follows it, and the unit
// identifier (the address of the station behind the gateway).
//
// The rest of the library works on RTU frames (address, PDU, CRC); these convert between
// the two, so a reply received over Modbus TCP is checked and decoded like any other.
// Plain computation over byte arrays; no I/O.

#include <cstdint>
#include <optional>

namespace veltro::modbus {

inline constexpr std::int32_t MbapHeaderSize = 7;
// The length field counts the unit identifier and the PDU: 1 + 1..253.
inline constexpr std::uint16_t MbapMinLength = 2;
inline constexpr std::uint16_t MbapMaxLength = 254;
// The longest ADU: header and the longest PDU.
inline constexpr std::int32_t MbapMaxFrameSize = MbapHeaderSize - 1 + MbapMaxLength;

struct TMbapHeader {
    std::uint16_t TransactionId = 0;
    std::uint16_t ProtocolId = 0;
    std::uint16_t Length = 0;  // unit identifier and PDU
    std::uint8_t UnitId = 0;

    // The protocol is Modbus and the length can hold a PDU.
    bool Valid() const { return ProtocolId == 0 && Length >= MbapMinLength && Length <= MbapMaxLength; }
    // The whole ADU this header begins.
    std::int32_t FrameSize() const { return MbapHeaderSize - 1 + Length; }
};

// The header at the start of Bytes; nothing while fewer than seven bytes are there.
std::optional<TMbapHeader> ReadMbapHeader(const std::uint8_t* Bytes, std::int32_t Count);

// The ADU of an RTU frame (address, PDU, CRC) under TransactionId, into Out; its size, or
// 0 when the frame is too short or Room too small.
std::int32_t RtuToMbap(const std::uint8_t* Rtu, std::int32_t Count, std::uint16_t TransactionId, std::uint8_t* Out,
                       std::int32_t Room);
// The RTU frame of a whole ADU (unit identifier, PDU and a CRC computed for them), into
// Out; its size, or 0 when the ADU is not whole and valid or Room is too small.
std::int32_t MbapToRtu(const std::uint8_t* Adu, std::int32_t Count, std::uint8_t* Out, std::int32_t Room);

} // namespace veltro::modbus
