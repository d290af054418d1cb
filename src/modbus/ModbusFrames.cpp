#include "modbus/ModbusFrames.h"

#include "modbus/FieldwireError.h"

#include <array>
#include <cstring>

namespace veltro::modbus {

namespace {

constexpr std::array<std::uint16_t, 256> MakeCrcTable()
{
    std::array<std::uint16_t, 256> Table{};
    for (unsigned I = 0; I < 256; ++I) {
        unsigned Crc = I;
        for (int Bit = 0; Bit < 8; ++Bit)
            Crc = (Crc & 1u) ? (Crc >> 1) ^ 0xA001u : Crc >> 1;
        Table[I] = static_cast<std::uint16_t>(Crc);
    }
    return Table;
}

// Built once, at compile time; per byte the CRC is one look-up, one XOR and one shift.
constexpr std::array<std::uint16_t, 256> CrcTable = MakeCrcTable();

constexpr char HexDigits[] = "0123456789ABCDEF";

// Returns -1 for a character that is no hexadecimal digit, so that line noise cannot turn
// into plausible-looking bytes. Lower case is accepted as a harmless leniency.
int HexValue(std::uint8_t C)
{
    if (C >= '0' && C <= '9')
        return C - '0';
    if (C >= 'A' && C <= 'F')
        return C - 'A' + 10;
    if (C >= 'a' && C <= 'f')
        return C - 'a' + 10;
    return -1;
}

} // namespace

std::uint16_t Crc16(const std::uint8_t* Data, std::int32_t Count)
{
    std::uint16_t Crc = 0xFFFF;
    for (std::int32_t I = 0; I < Count; ++I)
        Crc = static_cast<std::uint16_t>(CrcTable[(Crc ^ Data[I]) & 0xFF] ^ (Crc >> 8));
    return Crc;
}

std::uint16_t Crc16(const TModbusBuffer& Buffer) { return Crc16(Buffer.Data(), Buffer.Position()); }

std::uint8_t Lrc(const std::uint8_t* Data, std::int32_t Count)
{
    unsigned Sum = 0;
    for (std::int32_t I = 0; I < Count; ++I)
        Sum += Data[I];
    return static_cast<std::uint8_t>(0u - Sum);
}

std::uint8_t Lrc(const TModbusBuffer& Buffer) { return Lrc(Buffer.Data(), Buffer.Position()); }

void AppendChecksum(TTransmissionMode Mode, TModbusBuffer& Buffer)
{
    if (Mode == tmRTU)
        Buffer.WriteRawWord(Crc16(Buffer));
    else
        Buffer.WriteByte(Lrc(Buffer));
}

std::int32_t EncodeFrame(TTransmissionMode Mode, const TModbusBuffer& Buffer, std::uint8_t* Raw,
                         std::int32_t RawCapacity)
{
    const std::int32_t Size = Buffer.Size();
    if (Size == 0)
        return 0;
    const std::uint8_t* Data = Buffer.Data();
    if (Mode == tmRTU) {
        if (Size > RawCapacity)
            throw EFieldwireError(messages::SEncodeFrameFailed);
        std::memcpy(Raw, Data, static_cast<std::size_t>(Size));
        return Size;
    }
    const std::int32_t Length = 2 * Size + 3;
    if (Length > RawCapacity)
        throw EFieldwireError(messages::SEncodeFrameFailed);
    std::uint8_t* Out = Raw;
    *Out++ = ':';
    for (std::int32_t I = 0; I < Size; ++I) {
        *Out++ = static_cast<std::uint8_t>(HexDigits[Data[I] >> 4]);
        *Out++ = static_cast<std::uint8_t>(HexDigits[Data[I] & 0x0F]);
    }
    *Out++ = '\r';
    *Out++ = '\n';
    return Length;
}

void DecodeFrame(TTransmissionMode Mode, const std::uint8_t* Raw, std::int32_t Length,
                 TModbusBuffer& Buffer)
{
    Buffer.SetSize(0);
    if (Length < 1)
        return;
    if (Mode == tmRTU) {
        if (Length > Buffer.Capacity())
            throw EFieldwireError(messages::SDecodeFrameFailed);
        std::memcpy(Buffer.Data(), Raw, static_cast<std::size_t>(Length));
        Buffer.SetSize(Length);
        return;
    }
    // ASCII line framing: ':' + pairs of hex digits + CR LF, hence an odd length above 3.
    if (Length <= 3)
        throw EAssertionFailed(messages::SAsciiSizeTooSmall);
    if (Length % 2 == 0)
        throw EAssertionFailed(messages::SAsciiSizeNotOdd);
    if (Raw[0] != ':')
        throw EAssertionFailed(messages::SAsciiColonMissing);
    if (Raw[Length - 2] != '\r')
        throw EAssertionFailed(messages::SAsciiCrMissing);
    if (Raw[Length - 1] != '\n')
        throw EAssertionFailed(messages::SAsciiLfMissing);
    const std::int32_t Count = (Length - 3) / 2;
    if (Count > Buffer.Capacity())
        throw EFieldwireError(messages::SDecodeFrameFailed);
    // Decode into the data area first and publish the size only when every digit was valid,
    // so a rejected frame leaves the buffer empty.
    std::uint8_t* Data = Buffer.Data();
    for (std::int32_t I = 0; I < Count; ++I) {
        const int High = HexValue(Raw[1 + 2 * I]);
        const int Low = HexValue(Raw[2 + 2 * I]);
        if (High < 0 || Low < 0)
            throw EFieldwireError(messages::SDecodeFrameFailed);
        Data[I] = static_cast<std::uint8_t>((High << 4) | Low);
    }
    Buffer.SetSize(Count);
}

bool IsValidFrame(TTransmissionMode Mode, TConnectionMode Side, TModbusBuffer& Buffer)
{
    if (Buffer.Size() < MinValidFrameSize(Mode, Side))
        return false;
    Buffer.Seek(bmEnd);
    if (Mode == tmRTU) {
        Buffer.Seek(bmBackWord);
        return Crc16(Buffer) == Buffer.PeekRawWord();
    }
    Buffer.Seek(bmBackByte);
    return Lrc(Buffer) == Buffer.PeekByte();
}

std::uint8_t GetFrameAddress(TModbusBuffer& Buffer)
{
    Buffer.SetPosition(0);
    return Buffer.PeekByte();
}

std::uint8_t GetFunctionCode(TModbusBuffer& Buffer)
{
    Buffer.SetPosition(1);
    return Buffer.PeekByte();
}

bool IsExceptionReply(TTransmissionMode Mode, TModbusBuffer& Buffer)
{
    if (Buffer.Size() != ExceptionReplySize(Mode))
        return false;
    return GetFunctionCode(Buffer) > ExceptionFunctionFlag;
}

TExceptionCode GetExceptionCode(TModbusBuffer& Reply)
{
    Reply.SetPosition(2);
    const std::uint8_t Raw = Reply.PeekByte();
    return {static_cast<std::uint8_t>(Raw <= MaxKnownExceptionCode ? Raw : 0), Raw};
}

bool ReplyMatchesRequest(TModbusBuffer& Request, TModbusBuffer& Reply, bool AcceptAnyServer)
{
    // A frame without both address and function byte answers nothing.
    if (Request.Size() < 2 || Reply.Size() < 2)
        return false;
    if ((GetFunctionCode(Reply) & 0x7F) != GetFunctionCode(Request))
        return false;
    return AcceptAnyServer || GetFrameAddress(Reply) == GetFrameAddress(Request);
}

void BuildExceptionReply(TTransmissionMode Mode, TModbusBuffer& Reply, std::uint8_t ServerAddress,
                         std::uint8_t FunctionCode, std::uint8_t ExceptionCode)
{
    Reply.SetSize(0);
    Reply.WriteByte(ServerAddress);
    Reply.WriteByte(static_cast<std::uint8_t>(FunctionCode | ExceptionFunctionFlag));
    Reply.WriteByte(ExceptionCode);
    AppendChecksum(Mode, Reply);
}

} // namespace veltro::modbus
