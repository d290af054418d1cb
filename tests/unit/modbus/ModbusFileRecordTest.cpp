#include "modbus/FieldwireError.h"
#include "modbus/ModbusFileRecord.h"

#include <gtest/gtest.h>

namespace veltro::modbus {
namespace {

std::string Raised(const std::function<void()>& F)
{
    try {
        F();
    } catch (const EFieldwireError& E) {
        return E.what();
    }
    return "";
}

TEST(ModbusFileRecord, RecordsEndAtRecordNumber9999)
{
    EXPECT_EQ(Raised([] { TModbusFileRecord(1, 9990, 10); }), "");
    EXPECT_EQ(Raised([] { TModbusFileRecord(1, 9990, 11); }), "Starting register index is invalid (9990)");
    EXPECT_EQ(Raised([] { TModbusFileRecord(1, 65535, 1); }), "Starting register index is invalid (65535)");
    TModbusFileRecord R(1, 9999, 1);
    EXPECT_EQ(R.Values(), std::vector<std::uint16_t>{0});
}

TEST(ModbusFileRecord, ValuesAreAddressedWithinTheRecord)
{
    TModbusFileRecord R(4, 7, 3);
    R.SetValue(2, 0x100D);
    EXPECT_EQ(R.Values(), (std::vector<std::uint16_t>{0, 0, 0x100D}));
    EXPECT_EQ(Raised([&] { R.SetValue(3, 1); }), "Register index is invalid (3)");
    EXPECT_EQ(Raised([&] { R.SetValue(-1, 1); }), "Register index is invalid (-1)");
    EXPECT_EQ(R.RecordLength(), 3);
}

TEST(ModbusFileRecordList, OwnsItsRecordsAndRefusesAFailedAdd)
{
    TModbusFileRecordList L;
    L.Add(1, 0, 2);
    EXPECT_FALSE(Raised([&] { L.Add(2, 9999, 2); }).empty());
    L.Add(3, 5, 1);
    ASSERT_EQ(L.Count(), 2);
    EXPECT_EQ(L.Items(1).FileNumber(), 3);
    L.Delete(0);
    EXPECT_EQ(L.Items(0).FileNumber(), 3);
    EXPECT_FALSE(Raised([&] { L.Items(1); }).empty());
    L.Clear();
    EXPECT_EQ(L.Count(), 0);
}

} // namespace
} // namespace veltro::modbus
