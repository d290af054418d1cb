#pragma once
// SimState: what the simulated meter and the simulated Modbus module share. The meter
// stores the module's configuration in two data sets, "0.0.7" (Modbus server address)
// and "0.0.8" (RS485 settings), as the texts written to it; the module reads the
// address and line settings it must use from the same object. All members are
// thread-safe: the two devices run on their own threads and tests change the state
// while they run.

#include <cstdint>
#include <mutex>
#include <optional>
#include <string>

namespace veltro::sim {

// Line settings of the module's RS485 side.
struct ModuleLineSettings {
    uint32_t baudRate = 9600;
    int dataBits = 8;
    char parity = 'N';  // 'N', 'O' or 'E'
    int stopBits = 1;

    bool operator==(const ModuleLineSettings&) const = default;
};

class SimState {
public:
    // Data-set codes the meter knows.
    static constexpr const char* kSerialNumberCode = "0.0.1";
    static constexpr const char* kModbusAddressCode = "0.0.7";
    static constexpr const char* kModbusSettingsCode = "0.0.8";

    std::string SerialNumber() const;
    void SetSerialNumber(const std::string& value);
    // The identifier the meter answers a sign-on request for (an empty request is
    // always answered, as on a point-to-point line).
    std::string CommIdent() const;
    void SetCommIdent(const std::string& value);
    std::string Password() const;
    void SetPassword(const std::string& value);
    // The raw texts of "0.0.7" and "0.0.8"; empty selects the module's automatic
    // address and default settings. Set unchecked, so tests can plant any value.
    std::string ModbusAddressText() const;
    void SetModbusAddressText(const std::string& value);
    std::string ModbusSettingsText() const;
    void SetModbusSettingsText(const std::string& value);

    // The value of a data set by its code, as the meter reports it; nullopt for a
    // code the meter does not know.
    std::optional<std::string> ReadDataSet(const std::string& code) const;
    // Stores a value written to the meter. Only "0.0.7" and "0.0.8" are writable, and
    // only with a value the module can work with (see the validators below); false
    // leaves the state unchanged.
    bool WriteDataSet(const std::string& code, const std::string& value);

    // What the module uses. An address text that is not a decimal 1..247, or a
    // settings text that is not "<baud> <data bits><parity><stop bits>", falls back to
    // the automatic address / default settings, so a bad value can never make the
    // module unreachable.
    int ModbusAddress() const;
    ModuleLineSettings ModbusLineSettings() const;
    // The automatic address: the serial number's last two digits plus 100 (the serial
    // number read as a signed 32-bit decimal, remainder of 100; 100 when it is not a
    // number), the same rule the configuration page shows.
    static int AutomaticAddress(const std::string& serialNumber);

    // Rises by one on every change, so the module can notice new settings cheaply.
    uint64_t Version() const;

    // Validators of the writable data sets.
    static std::optional<int> ParseModbusAddress(const std::string& text);
    static std::optional<ModuleLineSettings> ParseModbusSettings(const std::string& text);

private:
    void Set(std::string& field, const std::string& value);

    mutable std::mutex mutex_;
    std::string serialNumber_ = "12345678";
    std::string commIdent_ = "12345678";
    std::string password_ = "KLOMB";
    std::string addressText_;
    std::string settingsText_;
    uint64_t version_ = 0;
};

}  // namespace veltro::sim
