#include "modbus/ModbusBits.h"

#include "modbus/ModbusBuffer.h"

#include <cstdint>

namespace veltro::modbus {

int BitByteCount(int Count)
{
    return Count / 8 + (Count % 8 != 0 ? 1 : 0);
}

void PackBits(const std::vector<bool>& Values, TModbusBuffer& Buffer)
{
    const std::size_t Count = Values.size();
    for (std::size_t ByteStart = 0; ByteStart < Count; ByteStart += 8) {
        std::uint8_t Packed = 0;
        for (std::size_t Bit = 0; Bit < 8 && ByteStart + Bit < Count; ++Bit)
            if (Values[ByteStart + Bit])
                Packed = static_cast<std::uint8_t>(Packed | (1u << Bit));
        Buffer.WriteByte(Packed);
    }
}

void UnpackBits(TModbusBuffer& Buffer, std::vector<bool>& Values)
{
    const std::size_t Count = Values.size();
    for (std::size_t ByteStart = 0; ByteStart < Count; ByteStart += 8) {
        const std::uint8_t Packed = Buffer.PeekByte();
        Buffer.Seek(bmNextByte);
        for (std::size_t Bit = 0; Bit < 8 && ByteStart + Bit < Count; ++Bit)
            Values[ByteStart + Bit] = (Packed & (1u << Bit)) != 0;
    }
}

} // namespace veltro::modbus
