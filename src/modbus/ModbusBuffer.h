#pragma once

#include <cstdint>
#include <memory>

namespace veltro::modbus {

enum TBufferMove { bmStart, bmEnd, bmBackByte, bmNextByte, bmBackWord, bmNextWord };

// Fixed-capacity byte buffer with a cursor, in which every request and reply is built and
// parsed. Invariant: 0 <= Position <= Size <= Capacity. Every violation raises EFieldwireError
// before anything changes. PDU words are big-endian; only the RTU CRC is little-endian
// (the "Raw" word operations).
class TModbusBuffer {
public:
    explicit TModbusBuffer(std::int32_t Capacity);

    TModbusBuffer(const TModbusBuffer&) = delete;
    TModbusBuffer& operator=(const TModbusBuffer&) = delete;

    std::int32_t Capacity() const noexcept { return FCapacity; }
    std::int32_t Position() const noexcept { return FPosition; }
    std::int32_t Size() const noexcept { return FSize; }

    // Checked against the capacity, not the size: a peek past Size reads the (zeroed or stale)
    // data area rather than failing, which the codecs rely on for fixed-offset fields.
    void CheckSpace(std::int32_t Count) const;

    std::uint8_t PeekByte() const;
    std::uint16_t PeekWord() const;
    std::uint16_t PeekRawWord() const;
    void PeekBytes(std::uint8_t* Dest, std::int32_t Count) const;

    void WriteByte(std::uint8_t Value);
    void WriteWord(std::uint16_t Value);
    void WriteRawWord(std::uint16_t Value);

    void SetPosition(std::int32_t P);
    void SetSize(std::int32_t S);
    void Seek(TBufferMove Move);
    void DiscardBeforePosition();

    // Whole data area, for the frame codecs that copy line bytes in and out.
    std::uint8_t* Data() noexcept { return FData.get(); }
    const std::uint8_t* Data() const noexcept { return FData.get(); }

private:
    void Advance(std::int32_t Count);

    std::int32_t FCapacity;
    std::int32_t FPosition = 0;
    std::int32_t FSize = 0;
    std::unique_ptr<std::uint8_t[]> FData;
};

} // namespace veltro::modbus
