#include "modbus/ModbusServer.h"

#include "modbus/FieldwireError.h"
#include "modbus/ModbusBits.h"
#include "modbus/ModbusConnection.h"
#include "modbus/ModbusFrames.h"

namespace veltro::modbus {

namespace {

enum : std::uint8_t {
    fnReadCoils = 1,
    fnReadDiscreteInputs = 2,
    fnReadHoldingRegisters = 3,
    fnReadInputRegisters = 4,
    fnWriteSingleCoil = 5,
    fnWriteSingleRegister = 6,
    fnWriteMultipleCoils = 15,
    fnWriteMultipleRegisters = 16,
};

// Function 5 carries a coil state as one of exactly two words.
constexpr std::uint16_t CoilOn = 0xFF00;
constexpr std::uint16_t CoilOff = 0x0000;

// Address, function code, start and count: the part every data-access request begins with.
constexpr std::int32_t AddressedRequestSize = 6;
// Multiple writes put a byte count after start and count; the values follow it.
constexpr std::int32_t MultipleWriteValuesOffset = 7;

// A range must end at or before the last address, 65535.
constexpr bool RangeEndsInTable(std::uint16_t Start, std::uint16_t Count)
{
    return static_cast<std::uint32_t>(Start) + Count <= 0x10000u;
}

// The current transaction is set for one handling only, an aborted one included.
struct TCurrentTransaction {
    TModbusTransaction*& Slot;
    TCurrentTransaction(TModbusTransaction*& S, TModbusTransaction& T) : Slot(S) { Slot = &T; }
    ~TCurrentTransaction() { Slot = nullptr; }
};

} // namespace

TModbusServer::~TModbusServer() { SetConnection(nullptr); }

void TModbusServer::SetConnection(TModbusConnection* Value)
{
    if (Value == FConnection)
        return;
    if (FConnection)
        FConnection->UnregisterServer(this);
    FConnection = Value;
    if (FConnection)
        FConnection->RegisterServer(this);
}

void TModbusServer::ConnectionRemoved(TModbusConnection* Removed) noexcept
{
    if (FConnection == Removed)
        FConnection = nullptr;
}

// ---------------------------------------------------------------------------------------
// Default queries: a server object that overrides nothing holds no data.

bool TModbusServer::AcceptsFunction(std::uint8_t) { return true; }
bool TModbusServer::IsCoilAddressValid(std::uint16_t) { return false; }
bool TModbusServer::IsDiscreteInputAddressValid(std::uint16_t) { return false; }
bool TModbusServer::IsHoldingRegisterAddressValid(std::uint16_t) { return false; }
bool TModbusServer::IsInputRegisterAddressValid(std::uint16_t) { return false; }

int TModbusServer::CheckCoilWrite(std::uint16_t Addr, bool)
{
    return IsCoilAddressValid(Addr) ? cwAccepted : cwAddressRefused;
}

int TModbusServer::CheckRegisterWrite(std::uint16_t Addr, std::uint16_t)
{
    return IsHoldingRegisterAddressValid(Addr) ? cwAccepted : cwAddressRefused;
}

bool TModbusServer::GetCoilValue(std::uint16_t) { return false; }
bool TModbusServer::GetDiscreteInputValue(std::uint16_t) { return false; }
std::uint16_t TModbusServer::GetHoldingRegisterValue(std::uint16_t) { return 0; }
std::uint16_t TModbusServer::GetInputRegisterValue(std::uint16_t) { return 0; }
void TModbusServer::SetCoilValue(std::uint16_t, bool) {}
void TModbusServer::SetRegisterValue(std::uint16_t, std::uint16_t) {}

// ---------------------------------------------------------------------------------------
// Handling

void TModbusServer::HandleRequest(TModbusTransaction& Transaction)
{
    if (!FConnection || !FConnection->Active())
        throw EFieldwireError(messages::SNoActiveConnection);
    TCurrentTransaction Current(FTransaction, Transaction);
    Dispatch(GetFunctionCode(Transaction.Request));
}

void TModbusServer::Dispatch(std::uint8_t FunctionCode)
{
    if (const std::uint8_t Code = Unavailable(); Code != 0) {
        Refuse(Code);
        return;
    }
    bool Served = true;
    switch (FunctionCode) {
    case fnReadCoils:
    case fnReadDiscreteInputs:
    case fnReadHoldingRegisters:
    case fnReadInputRegisters:
    case fnWriteSingleCoil:
    case fnWriteSingleRegister:
    case fnWriteMultipleCoils:
    case fnWriteMultipleRegisters:
        break;
    default:
        Served = false;
    }
    if (!Served || !AcceptsFunction(FunctionCode)) {
        Refuse(seIllegalFunction);
        return;
    }
    switch (FunctionCode) {
    case fnReadCoils: ReadTable(TTable::Coils); break;
    case fnReadDiscreteInputs: ReadTable(TTable::DiscreteInputs); break;
    case fnReadHoldingRegisters: ReadTable(TTable::HoldingRegisters); break;
    case fnReadInputRegisters: ReadTable(TTable::InputRegisters); break;
    case fnWriteSingleCoil: WriteSingleCoil(); break;
    case fnWriteSingleRegister: WriteSingleRegister(); break;
    case fnWriteMultipleCoils: WriteMultipleCoils(); break;
    case fnWriteMultipleRegisters: WriteMultipleRegisters(); break;
    default: break;
    }
}

void TModbusServer::ReadTable(TTable Table)
{
    if (PayloadSize() < AddressedRequestSize)
        return Refuse(seIllegalDataValue);
    const std::uint16_t Start = RequestWord(2);
    const std::uint16_t Count = RequestWord(4);
    const bool Bits = Table == TTable::Coils || Table == TTable::DiscreteInputs;
    if (Count < 1 || Count > (Bits ? MaxReadBits : MaxReadRegisters))
        return Refuse(seIllegalDataValue);
    if (!RangeEndsInTable(Start, Count))
        return Refuse(seIllegalDataAddress);
    for (std::uint32_t I = 0; I < Count; ++I)
        if (!AddressValid(Table, static_cast<std::uint16_t>(Start + I)))
            return Refuse(seIllegalDataAddress);

    std::vector<bool> BitValues;
    std::vector<std::uint16_t> Words;
    try {
        for (std::uint32_t I = 0; I < Count; ++I) {
            const auto Addr = static_cast<std::uint16_t>(Start + I);
            if (Bits)
                BitValues.push_back(FetchBit(Table, Addr));
            else
                Words.push_back(FetchRegister(Table, Addr));
        }
    } catch (...) {
        return Refuse(seServerDeviceFailure);
    }

    if (!BeginReply())
        return;
    TModbusBuffer& Reply = FTransaction->Reply;
    if (Bits) {
        Reply.WriteByte(static_cast<std::uint8_t>(BitByteCount(Count)));
        PackBits(BitValues, Reply);
    } else {
        Reply.WriteByte(static_cast<std::uint8_t>(2 * Count));
        for (const std::uint16_t W : Words)
            Reply.WriteWord(W);
    }
    FinishReply();
}

void TModbusServer::WriteSingleCoil()
{
    if (PayloadSize() < AddressedRequestSize)
        return Refuse(seIllegalDataValue);
    const std::uint16_t Addr = RequestWord(2);
    const std::uint16_t Value = RequestWord(4);
    if (Value != CoilOn && Value != CoilOff)
        return Refuse(seIllegalDataValue);
    const bool On = Value == CoilOn;
    if (const std::uint8_t Code = StoreAll(
            1, [&](std::uint32_t) { return CheckCoilWrite(Addr, On); }, [&](std::uint32_t) { SetCoilValue(Addr, On); }))
        return Refuse(Code);
    ReplyWords(Addr, Value);
}

void TModbusServer::WriteSingleRegister()
{
    if (PayloadSize() < AddressedRequestSize)
        return Refuse(seIllegalDataValue);
    const std::uint16_t Addr = RequestWord(2);
    const std::uint16_t Value = RequestWord(4);
    if (const std::uint8_t Code = StoreAll(
            1, [&](std::uint32_t) { return CheckRegisterWrite(Addr, Value); },
            [&](std::uint32_t) { SetRegisterValue(Addr, Value); }))
        return Refuse(Code);
    ReplyWords(Addr, Value);
}

void TModbusServer::WriteMultipleCoils()
{
    if (PayloadSize() < AddressedRequestSize)
        return Refuse(seIllegalDataValue);
    const std::uint16_t Start = RequestWord(2);
    const std::uint16_t Count = RequestWord(4);
    if (Count < 1 || Count > MaxWriteCoils)
        return Refuse(seIllegalDataValue);
    if (!RangeEndsInTable(Start, Count))
        return Refuse(seIllegalDataAddress);
    // The byte count is not trusted: the values must simply be there.
    if (PayloadSize() < MultipleWriteValuesOffset + BitByteCount(Count))
        return Refuse(seIllegalDataValue);
    std::vector<bool> Values(Count);
    TModbusBuffer& Request = FTransaction->Request;
    Request.SetPosition(MultipleWriteValuesOffset);
    UnpackBits(Request, Values);

    const auto At = [Start](std::uint32_t I) { return static_cast<std::uint16_t>(Start + I); };
    if (const std::uint8_t Code = StoreAll(
            Count, [&](std::uint32_t I) { return CheckCoilWrite(At(I), Values[I]); },
            [&](std::uint32_t I) { SetCoilValue(At(I), Values[I]); }))
        return Refuse(Code);
    ReplyWords(Start, Count);
}

void TModbusServer::WriteMultipleRegisters()
{
    if (PayloadSize() < AddressedRequestSize)
        return Refuse(seIllegalDataValue);
    const std::uint16_t Start = RequestWord(2);
    const std::uint16_t Count = RequestWord(4);
    if (Count < 1 || Count > MaxWriteRegisters)
        return Refuse(seIllegalDataValue);
    if (!RangeEndsInTable(Start, Count))
        return Refuse(seIllegalDataAddress);
    if (PayloadSize() < MultipleWriteValuesOffset + 2 * Count)
        return Refuse(seIllegalDataValue);
    std::vector<std::uint16_t> Values(Count);
    for (std::uint32_t I = 0; I < Count; ++I)
        Values[I] = RequestWord(MultipleWriteValuesOffset + 2 * static_cast<std::int32_t>(I));

    const auto At = [Start](std::uint32_t I) { return static_cast<std::uint16_t>(Start + I); };
    if (const std::uint8_t Code = StoreAll(
            Count, [&](std::uint32_t I) { return CheckRegisterWrite(At(I), Values[I]); },
            [&](std::uint32_t I) { SetRegisterValue(At(I), Values[I]); }))
        return Refuse(Code);
    ReplyWords(Start, Count);
}

// ---------------------------------------------------------------------------------------
// Helpers

bool TModbusServer::AddressValid(TTable Table, std::uint16_t Addr)
{
    switch (Table) {
    case TTable::Coils: return IsCoilAddressValid(Addr);
    case TTable::DiscreteInputs: return IsDiscreteInputAddressValid(Addr);
    case TTable::HoldingRegisters: return IsHoldingRegisterAddressValid(Addr);
    case TTable::InputRegisters: return IsInputRegisterAddressValid(Addr);
    }
    return false;
}

bool TModbusServer::FetchBit(TTable Table, std::uint16_t Addr)
{
    return Table == TTable::Coils ? GetCoilValue(Addr) : GetDiscreteInputValue(Addr);
}

std::uint16_t TModbusServer::FetchRegister(TTable Table, std::uint16_t Addr)
{
    return Table == TTable::HoldingRegisters ? GetHoldingRegisterValue(Addr) : GetInputRegisterValue(Addr);
}

bool TModbusServer::Broadcast() const noexcept { return FTransaction->Info.ServerAddress == 0; }

std::int32_t TModbusServer::PayloadSize() const
{
    return FTransaction->Request.Size() - ChecksumLength(FConnection->TransmissionMode());
}

std::uint16_t TModbusServer::RequestWord(std::int32_t Offset) const
{
    TModbusBuffer& Request = FTransaction->Request;
    Request.SetPosition(Offset);
    return Request.PeekWord();
}

std::uint8_t TModbusServer::RefusalCode(int Check) noexcept
{
    if (Check == cwAddressRefused)
        return seIllegalDataAddress;
    if (Check == cwValueRefused)
        return seIllegalDataValue;
    return 0;
}

void TModbusServer::Refuse(std::uint8_t Code)
{
    // Nobody listens for an answer to a broadcast, not even for a refusal.
    if (Broadcast())
        return;
    BuildExceptionReply(FConnection->TransmissionMode(), FTransaction->Reply, FServerAddress,
                        GetFunctionCode(FTransaction->Request), Code);
}

bool TModbusServer::BeginReply()
{
    TModbusBuffer& Reply = FTransaction->Reply;
    if (Broadcast() || Reply.Size() != 0)
        return false;
    Reply.SetPosition(0);
    Reply.WriteByte(FServerAddress);
    Reply.WriteByte(GetFunctionCode(FTransaction->Request));
    return true;
}

void TModbusServer::FinishReply() { AppendChecksum(FConnection->TransmissionMode(), FTransaction->Reply); }

void TModbusServer::ReplyWords(std::uint16_t First, std::uint16_t Second)
{
    if (!BeginReply())
        return;
    FTransaction->Reply.WriteWord(First);
    FTransaction->Reply.WriteWord(Second);
    FinishReply();
}

std::uint8_t TModbusServer::StoreAll(std::uint32_t Count, const std::function<int(std::uint32_t)>& Check,
                                     const std::function<void(std::uint32_t)>& Store)
{
    // One refused item leaves every item as it was.
    for (std::uint32_t I = 0; I < Count; ++I)
        if (const std::uint8_t Code = RefusalCode(Check(I)))
            return Code;
    // A store that throws is the device failing, not a refusal of the request.
    try {
        for (std::uint32_t I = 0; I < Count; ++I)
            Store(I);
    } catch (...) {
        return seServerDeviceFailure;
    }
    return 0;
}

} // namespace veltro::modbus
