// Our client against a libmodbus RTU server: a Modbus stack nobody here wrote. Every case
// runs with both rules for the end of a reply: the silence, and the expected length.

#include "integration/modbus/LibmodbusPeer.h"

#include "modbus/ModbusClient.h"
#include "modbus/ModbusConnection.h"
#include "platform/ManualUiDispatcher.h"

#include <gtest/gtest.h>

#include <optional>

namespace veltro::modbus::test {
namespace {

using namespace std::chrono_literals;

constexpr int Address = 17;

class LibmodbusInterop : public ::testing::TestWithParam<TFrameEnd> {
protected:
    void SetUp() override
    {
        Dir.Publish(1, Bridge.ClientPath());
        Conn = std::make_unique<TModbusConnection>(&Ui);
        Conn->SetParity(psNone);
        Conn->SetFrameEnd(GetParam());
        Conn->SetReceiveTimeout(2000);
        Client.SetServerAddress(Address);
        Client.SetConnection(Conn.get());
        Conn->SetActive(true);
    }
    void TearDown() override { Conn.reset(); }

    // Pumps until the event handler stored its outcome.
    template <typename T>
    T Await(std::optional<T>& Slot)
    {
        EXPECT_TRUE(Ui.PumpUntil([&] { return Slot.has_value(); }, 5s));
        return Slot.value_or(T{});
    }

    struct Registers {
        TTransactionInfo Info;
        TRegValues Values;
    };
    struct Bits {
        TTransactionInfo Info;
        TBitValues Values;
    };

    platform::ManualUiDispatcher Ui;
    veltro::test::PortDir Dir;
    PtyBridge Bridge;
    LibmodbusServer Server{Bridge.ServerPath(), Address};
    std::unique_ptr<TModbusConnection> Conn;
    TModbusClient Client;
};

TEST_P(LibmodbusInterop, ReadsHoldingAndInputRegisters)
{
    Server.WithMap([](modbus_mapping_t& M) {
        for (int I = 0; I < 125; ++I) {
            M.tab_registers[I] = static_cast<std::uint16_t>(0x1000 + 3 * I);
            M.tab_input_registers[I] = static_cast<std::uint16_t>(0xF000 - I);
        }
    });
    std::optional<Registers> Holding, Input;
    Client.OnHoldingRegistersRead = [&](TModbusClient&, TTransactionInfo& Info, std::uint16_t, std::uint16_t,
                                        const TRegValues& V) { Holding = Registers{Info, V}; };
    Client.OnInputRegistersRead = [&](TModbusClient&, TTransactionInfo& Info, std::uint16_t, std::uint16_t,
                                      const TRegValues& V) { Input = Registers{Info, V}; };

    for (int Count : {58, 125}) {
        Holding.reset();
        Client.ReadHoldingRegisters(0, static_cast<std::uint16_t>(Count));
        const Registers H = Await(Holding);
        ASSERT_EQ(H.Info.ReplyStatus, rsSuccess) << Count;
        ASSERT_EQ(H.Values.size(), static_cast<std::size_t>(Count));
        for (int I = 0; I < Count; ++I)
            EXPECT_EQ(H.Values[I], 0x1000 + 3 * I);
    }
    Client.ReadInputRegisters(10, 3);
    const Registers In = Await(Input);
    EXPECT_EQ(In.Info.ReplyStatus, rsSuccess);
    EXPECT_EQ(In.Values, (TRegValues{0xF000 - 10, 0xF000 - 11, 0xF000 - 12}));
}

TEST_P(LibmodbusInterop, ReadsCoilsAndDiscreteInputs)
{
    Server.WithMap([](modbus_mapping_t& M) {
        for (int I = 0; I < 20; ++I) {
            M.tab_bits[I] = I % 3 == 0;
            M.tab_input_bits[I] = I % 2 == 1;
        }
    });
    std::optional<Bits> Coils, Inputs;
    Client.OnCoilsRead = [&](TModbusClient&, TTransactionInfo& Info, std::uint16_t, std::uint16_t,
                             const TBitValues& V) { Coils = Bits{Info, V}; };
    Client.OnDiscreteInputsRead = [&](TModbusClient&, TTransactionInfo& Info, std::uint16_t, std::uint16_t,
                                      const TBitValues& V) { Inputs = Bits{Info, V}; };
    Client.ReadCoils(1, 11);  // crosses a byte boundary
    Client.ReadDiscreteInputs(0, 9);
    const Bits C = Await(Coils);
    const Bits D = Await(Inputs);
    EXPECT_EQ(C.Info.ReplyStatus, rsSuccess);
    EXPECT_EQ(C.Values, (TBitValues{0, 0, 1, 0, 0, 1, 0, 0, 1, 0, 0}));
    EXPECT_EQ(D.Info.ReplyStatus, rsSuccess);
    EXPECT_EQ(D.Values, (TBitValues{0, 1, 0, 1, 0, 1, 0, 1, 0}));
}

TEST_P(LibmodbusInterop, WritesReachTheServer)
{
    std::vector<std::uint8_t> Statuses;
    auto Record = [&](TTransactionInfo& Info) { Statuses.push_back(Info.ReplyStatus); };
    Client.OnSingleCoilWrite = [&](TModbusClient&, TTransactionInfo& Info, std::uint16_t, bool) { Record(Info); };
    Client.OnSingleRegisterWrite = [&](TModbusClient&, TTransactionInfo& Info, std::uint16_t, std::uint16_t) {
        Record(Info);
    };
    Client.OnMultipleCoilsWrite = [&](TModbusClient&, TTransactionInfo& Info, std::uint16_t, std::uint16_t,
                                      const TBitValues&) { Record(Info); };
    Client.OnMultipleRegistersWrite = [&](TModbusClient&, TTransactionInfo& Info, std::uint16_t, std::uint16_t,
                                          const TRegValues&) { Record(Info); };
    Client.OnSingleRegisterMaskWrite = [&](TModbusClient&, TTransactionInfo& Info, std::uint16_t, std::uint16_t,
                                           std::uint16_t) { Record(Info); };
    Server.WithMap([](modbus_mapping_t& M) { M.tab_registers[50] = 0x1234; });

    Client.WriteSingleCoil(7, true);
    Client.WriteSingleRegister(3, 0xBEEF);
    Client.WriteMultipleCoils(20, {true, false, true, true, false, false, false, false, true});
    Client.WriteMultipleRegisters(40, {1, 2, 0xFFFF});
    Client.MaskWriteRegister(50, 0x00F2, 0x0025);
    ASSERT_TRUE(Ui.PumpUntil([&] { return Statuses.size() == 5; }, 5s));
    EXPECT_EQ(Statuses, std::vector<std::uint8_t>(5, rsSuccess));

    Server.WithMap([](modbus_mapping_t& M) {
        EXPECT_EQ(M.tab_bits[7], 1);
        EXPECT_EQ(M.tab_registers[3], 0xBEEF);
        const std::vector<int> Written(M.tab_bits + 20, M.tab_bits + 29);
        EXPECT_EQ(Written, (std::vector<int>{1, 0, 1, 1, 0, 0, 0, 0, 1}));
        EXPECT_EQ(M.tab_registers[40], 1);
        EXPECT_EQ(M.tab_registers[41], 2);
        EXPECT_EQ(M.tab_registers[42], 0xFFFF);
        // (current AND and_mask) OR (or_mask AND NOT and_mask)
        EXPECT_EQ(M.tab_registers[50], (0x1234 & 0x00F2) | (0x0025 & ~0x00F2));
    });
}

TEST_P(LibmodbusInterop, ReportsTheServerIdentification)
{
    std::optional<std::vector<std::uint8_t>> Data;
    Client.OnServerIdentificationReport = [&](TModbusClient&, TTransactionInfo& Info, int Count,
                                              const TServerIdentificationData& D) {
        EXPECT_EQ(Info.ReplyStatus, rsSuccess);
        EXPECT_EQ(Count, static_cast<int>(D.size()));
        Data = D;
    };
    Client.ReportServerID();
    const auto D = Await(Data);
    // libmodbus reports its run indicator (0xFF) after the ID byte, then "LMB" and its version.
    ASSERT_GE(D.size(), 2u);
    EXPECT_EQ(D[1], 0xFF);
    EXPECT_EQ(std::string(D.begin() + 2, D.end()), std::string("LMB") + LIBMODBUS_VERSION_STRING);
}

TEST_P(LibmodbusInterop, AnAddressOutsideTheServersMapIsAnException)
{
    std::optional<Registers> Holding;
    Client.OnHoldingRegistersRead = [&](TModbusClient&, TTransactionInfo& Info, std::uint16_t, std::uint16_t,
                                        const TRegValues& V) { Holding = Registers{Info, V}; };
    Client.ReadHoldingRegisters(190, 20);
    const Registers H = Await(Holding);
    EXPECT_EQ(H.Info.ReplyStatus, rsException);
    EXPECT_EQ(H.Info.ExceptionCode, MODBUS_EXCEPTION_ILLEGAL_DATA_ADDRESS);
    EXPECT_EQ(H.Values, TRegValues(20, 0));
    EXPECT_EQ(Client.TranslateExceptionCode(H.Info.ExceptionCode), "Illegal data address");
}

INSTANTIATE_TEST_SUITE_P(FrameEnd, LibmodbusInterop, ::testing::Values(feSilence, feExpectedLength),
                         [](const auto& Info) { return Info.param == feSilence ? "Silence" : "ExpectedLength"; });

} // namespace
} // namespace veltro::modbus::test
