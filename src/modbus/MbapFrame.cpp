#include "modbus/MbapFrame.h"

#include "modbus/ModbusFrames.h"

#include <cstring>

namespace veltro::modbus {

namespace {

std::uint16_t Word(const std::uint8_t* Bytes)
{
    return static_cast<std::uint16_t>((Bytes[0] << 8) | Bytes[1]);
}

void PutWord(std::uint8_t* Bytes, std::uint16_t Value)
{
    Bytes[0] = static_cast<std::uint8_t>(Value >> 8);
    Bytes[1] = static_cast<std::uint8_t>(Value & 0xFF);
}

// Address and CRC around the PDU of an RTU frame.
constexpr std::int32_t RtuOverhead = 3;

} // namespace

std::optional<TMbapHeader> ReadMbapHeader(const std::uint8_t* Bytes, std::int32_t Count)
{
    if (Count < MbapHeaderSize)
        return std::nullopt;
    return TMbapHeader{Word(Bytes), Word(Bytes + 2), Word(Bytes + 4), Bytes[6]};
}

std::int32_t RtuToMbap(const std::uint8_t* Rtu, std::int32_t Count, std::uint16_t TransactionId, std::uint8_t* Out,
                       std::int32_t Room)
{
    const std::int32_t Pdu = Count - RtuOverhead;
    if (Pdu < 1 || Pdu + 1 > MbapMaxLength || MbapHeaderSize + Pdu > Room)
        return 0;
    PutWord(Out, TransactionId);
    PutWord(Out + 2, 0);
    PutWord(Out + 4, static_cast<std::uint16_t>(Pdu + 1));
    Out[6] = Rtu[0];
    std::memcpy(Out + MbapHeaderSize, Rtu + 1, static_cast<std::size_t>(Pdu));
    return MbapHeaderSize + Pdu;
}

std::int32_t MbapToRtu(const std::uint8_t* Adu, std::int32_t Count, std::uint8_t* Out, std::int32_t Room)
{
    const std::optional<TMbapHeader> Header = ReadMbapHeader(Adu, Count);
    if (!Header || !Header->Valid() || Header->FrameSize() != Count)
        return 0;
    const std::int32_t Pdu = Header->Length - 1;
    if (Pdu + RtuOverhead > Room)
        return 0;
    Out[0] = Header->UnitId;
    std::memcpy(Out + 1, Adu + MbapHeaderSize, static_cast<std::size_t>(Pdu));
    const std::uint16_t Crc = Crc16(Out, Pdu + 1);
    Out[Pdu + 1] = static_cast<std::uint8_t>(Crc & 0xFF);
    Out[Pdu + 2] = static_cast<std::uint8_t>(Crc >> 8);
    return Pdu + RtuOverhead;
}

} // namespace veltro::modbus
