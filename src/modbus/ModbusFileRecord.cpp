#include "modbus/ModbusFileRecord.h"

#include "modbus/FieldwireError.h"

namespace veltro::modbus {

namespace {
constexpr int LastRecordNumber = 9999;
}

TModbusFileRecord::TModbusFileRecord(std::uint16_t FileNumber, std::uint16_t RecordNumber,
                                     std::uint16_t RecordLength)
    : FFileNumber(FileNumber), FRecordNumber(RecordNumber)
{
    if (int(RecordNumber) + int(RecordLength) - 1 > LastRecordNumber)
        throw EFieldwireError(messages::StartRegisterInvalid(RecordNumber));
    FValues.assign(RecordLength, 0);
}

void TModbusFileRecord::CheckIndex(int Index) const
{
    if (Index < 0 || Index >= int(FValues.size()))
        throw EFieldwireError(messages::RegisterIndexInvalid(Index));
}

std::uint16_t TModbusFileRecord::Value(int Index) const
{
    CheckIndex(Index);
    return FValues[static_cast<std::size_t>(Index)];
}

void TModbusFileRecord::SetValue(int Index, std::uint16_t Value)
{
    CheckIndex(Index);
    FValues[static_cast<std::size_t>(Index)] = Value;
}

TModbusFileRecord& TModbusFileRecordList::Add(std::uint16_t FileNumber, std::uint16_t RecordNumber,
                                              std::uint16_t RecordLength)
{
    auto Record = std::make_unique<TModbusFileRecord>(FileNumber, RecordNumber, RecordLength);
    FItems.push_back(std::move(Record));
    return *FItems.back();
}

void TModbusFileRecordList::CheckIndex(int Index) const
{
    if (Index < 0 || Index >= Count())
        throw EFieldwireError(messages::RegisterIndexInvalid(Index));
}

TModbusFileRecord& TModbusFileRecordList::Items(int Index)
{
    CheckIndex(Index);
    return *FItems[static_cast<std::size_t>(Index)];
}

const TModbusFileRecord& TModbusFileRecordList::Items(int Index) const
{
    CheckIndex(Index);
    return *FItems[static_cast<std::size_t>(Index)];
}

void TModbusFileRecordList::Delete(int Index)
{
    CheckIndex(Index);
    FItems.erase(FItems.begin() + Index);
}

} // namespace veltro::modbus
