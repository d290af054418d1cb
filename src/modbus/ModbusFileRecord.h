#pragma once
// File records (functions 20 and 21): one record is a run of 16-bit values in a numbered
// file; a request carries one sub-request per record.

#include <cstdint>
#include <memory>
#include <vector>

namespace veltro::modbus {

class TModbusFileRecord {
public:
    // Record numbers of the extended register files run from 0 to 9999, so the last
    // record addressed must not pass 9999.
    TModbusFileRecord(std::uint16_t FileNumber, std::uint16_t RecordNumber, std::uint16_t RecordLength);

    std::uint16_t FileNumber() const noexcept { return FFileNumber; }
    std::uint16_t RecordNumber() const noexcept { return FRecordNumber; }
    std::uint16_t RecordLength() const noexcept { return static_cast<std::uint16_t>(FValues.size()); }

    const std::vector<std::uint16_t>& Values() const noexcept { return FValues; }
    std::uint16_t Value(int Index) const;
    void SetValue(int Index, std::uint16_t Value);

private:
    void CheckIndex(int Index) const;

    std::uint16_t FFileNumber;
    std::vector<std::uint16_t> FValues;
    std::uint16_t FRecordNumber;
};

// An owning list: records live as long as the list holds them.
class TModbusFileRecordList {
public:
    TModbusFileRecord& Add(std::uint16_t FileNumber, std::uint16_t RecordNumber, std::uint16_t RecordLength);

    int Count() const noexcept { return static_cast<int>(FItems.size()); }
    TModbusFileRecord& Items(int Index);
    const TModbusFileRecord& Items(int Index) const;
    void Delete(int Index);
    void Clear() noexcept { FItems.clear(); }

private:
    void CheckIndex(int Index) const;

    std::vector<std::unique_ptr<TModbusFileRecord>> FItems;
};

} // namespace veltro::modbus
