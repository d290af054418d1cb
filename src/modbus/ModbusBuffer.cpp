#include "modbus/ModbusBuffer.h"

#include "modbus/FieldwireError.h"

#include <cstring>

namespace veltro::modbus {

TModbusBuffer::TModbusBuffer(std::int32_t Capacity) : FCapacity(Capacity)
{
    if (Capacity < 0)
        throw EFieldwireError(messages::BufferSizeInvalid(Capacity));
    // Zeroed so that a peek between Size and Capacity reads defined bytes.
    FData = std::make_unique<std::uint8_t[]>(static_cast<std::size_t>(Capacity));
}

void TModbusBuffer::CheckSpace(std::int32_t Count) const
{
    if (Count < 0 || FCapacity - FPosition < Count)
        throw EFieldwireError(messages::SBufferNoSpace);
}

std::uint8_t TModbusBuffer::PeekByte() const
{
    CheckSpace(1);
    return FData[FPosition];
}

std::uint16_t TModbusBuffer::PeekWord() const
{
    CheckSpace(2);
    return static_cast<std::uint16_t>((FData[FPosition] << 8) | FData[FPosition + 1]);
}

std::uint16_t TModbusBuffer::PeekRawWord() const
{
    CheckSpace(2);
    return static_cast<std::uint16_t>(FData[FPosition] | (FData[FPosition + 1] << 8));
}

void TModbusBuffer::PeekBytes(std::uint8_t* Dest, std::int32_t Count) const
{
    if (Count < 1)
        return;
    CheckSpace(Count);
    std::memcpy(Dest, FData.get() + FPosition, static_cast<std::size_t>(Count));
}

void TModbusBuffer::Advance(std::int32_t Count)
{
    FPosition += Count;
    if (FPosition > FSize)
        FSize = FPosition;
}

void TModbusBuffer::WriteByte(std::uint8_t Value)
{
    CheckSpace(1);
    FData[FPosition] = Value;
    Advance(1);
}

void TModbusBuffer::WriteWord(std::uint16_t Value)
{
    CheckSpace(2);
    FData[FPosition] = static_cast<std::uint8_t>(Value >> 8);
    FData[FPosition + 1] = static_cast<std::uint8_t>(Value & 0xFF);
    Advance(2);
}

void TModbusBuffer::WriteRawWord(std::uint16_t Value)
{
    CheckSpace(2);
    FData[FPosition] = static_cast<std::uint8_t>(Value & 0xFF);
    FData[FPosition + 1] = static_cast<std::uint8_t>(Value >> 8);
    Advance(2);
}

void TModbusBuffer::SetPosition(std::int32_t P)
{
    if (P == FPosition)
        return;
    if (P < 0 || P > FSize)
        throw EFieldwireError(messages::BufferPositionInvalid(P));
    FPosition = P;
}

void TModbusBuffer::SetSize(std::int32_t S)
{
    if (S == FSize)
        return;
    if (S < 0 || S > FCapacity)
        throw EFieldwireError(messages::BufferSizeInvalid(S));
    FSize = S;
    if (FPosition > S)
        FPosition = S;
}

void TModbusBuffer::Seek(TBufferMove Move)
{
    switch (Move) {
    case bmStart: SetPosition(0); break;
    case bmEnd: SetPosition(FSize); break;
    case bmBackByte: SetPosition(FPosition - 1); break;
    case bmNextByte: SetPosition(FPosition + 1); break;
    case bmBackWord: SetPosition(FPosition - 2); break;
    case bmNextWord: SetPosition(FPosition + 2); break;
    }
}

void TModbusBuffer::DiscardBeforePosition()
{
    if (FPosition <= 0 || FPosition >= FSize)
        return;
    const std::int32_t Remaining = FSize - FPosition;
    std::memmove(FData.get(), FData.get() + FPosition, static_cast<std::size_t>(Remaining));
    FPosition = Remaining;
    FSize = Remaining;
}

} // namespace veltro::modbus
