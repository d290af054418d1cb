#include "simulator/SimState.h"

#include <array>
#include <charconv>
#include <climits>

namespace veltro::sim {

namespace {

// The rates the module's RS485 side can run at: the rates a PC port offers.
constexpr std::array<uint32_t, 10> kModuleRates = {300, 600, 1200, 2400, 4800, 9600,
                                                   19200, 38400, 57600, 115200};

bool AllDigits(const std::string& text)
{
    if (text.empty())
        return false;
    for (char c : text)
        if (c < '0' || c > '9')
            return false;
    return true;
}

}  // namespace

void SimState::Set(std::string& field, const std::string& value)
{
    std::lock_guard lock(mutex_);
    if (field == value)
        return;
    field = value;
    ++version_;
}

std::string SimState::SerialNumber() const { std::lock_guard lock(mutex_); return serialNumber_; }
std::string SimState::CommIdent() const { std::lock_guard lock(mutex_); return commIdent_; }
std::string SimState::Password() const { std::lock_guard lock(mutex_); return password_; }
std::string SimState::ModbusAddressText() const { std::lock_guard lock(mutex_); return addressText_; }
std::string SimState::ModbusSettingsText() const { std::lock_guard lock(mutex_); return settingsText_; }
uint64_t SimState::Version() const { std::lock_guard lock(mutex_); return version_; }

void SimState::SetSerialNumber(const std::string& value) { Set(serialNumber_, value); }
void SimState::SetCommIdent(const std::string& value) { Set(commIdent_, value); }
void SimState::SetPassword(const std::string& value) { Set(password_, value); }
void SimState::SetModbusAddressText(const std::string& value) { Set(addressText_, value); }
void SimState::SetModbusSettingsText(const std::string& value) { Set(settingsText_, value); }

std::optional<std::string> SimState::ReadDataSet(const std::string& code) const
{
    std::lock_guard lock(mutex_);
    if (code == kSerialNumberCode)
        return serialNumber_;
    if (code == kModbusAddressCode)
        return addressText_;
    if (code == kModbusSettingsCode)
        return settingsText_;
    return std::nullopt;
}

bool SimState::WriteDataSet(const std::string& code, const std::string& value)
{
    if (code == kModbusAddressCode && (value.empty() || ParseModbusAddress(value))) {
        SetModbusAddressText(value);
        return true;
    }
    if (code == kModbusSettingsCode && (value.empty() || ParseModbusSettings(value))) {
        SetModbusSettingsText(value);
        return true;
    }
    return false;
}

std::optional<int> SimState::ParseModbusAddress(const std::string& text)
{
    // Leading zeros are fine ("0100" is 100); signs and blanks are not.
    if (!AllDigits(text) || text.size() > 9)
        return std::nullopt;
    const int value = std::stoi(text);
    if (value < 1 || value > 247)
        return std::nullopt;
    return value;
}

std::optional<ModuleLineSettings> SimState::ParseModbusSettings(const std::string& text)
{
    // "<baud> <data bits><parity letter><stop bits>", one blank, nothing else around:
    // "19200 8E2".
    const size_t blank = text.find(' ');
    if (blank == std::string::npos || text.size() != blank + 4)
        return std::nullopt;
    const std::string baud = text.substr(0, blank);
    if (!AllDigits(baud) || baud.size() > 6)
        return std::nullopt;
    ModuleLineSettings s;
    s.baudRate = static_cast<uint32_t>(std::stoul(baud));
    bool knownRate = false;
    for (uint32_t rate : kModuleRates)
        knownRate = knownRate || rate == s.baudRate;
    const char bits = text[blank + 1], parity = text[blank + 2], stop = text[blank + 3];
    if (!knownRate || (bits != '7' && bits != '8') || (parity != 'N' && parity != 'O' && parity != 'E') ||
        (stop != '1' && stop != '2'))
        return std::nullopt;
    s.dataBits = bits - '0';
    s.parity = parity;
    s.stopBits = stop - '0';
    return s;
}

int SimState::AutomaticAddress(const std::string& serialNumber)
{
    int32_t value = 0;
    const char* first = serialNumber.data();
    const char* last = first + serialNumber.size();
    if (!serialNumber.empty() && *first == '+')
        ++first;
    const auto [end, ec] = std::from_chars(first, last, value);
    if (ec != std::errc() || end != last || serialNumber.empty())
        value = 0;
    return value % 100 + 100;
}

int SimState::ModbusAddress() const
{
    const std::string text = ModbusAddressText();
    if (const auto address = ParseModbusAddress(text))
        return *address;
    return AutomaticAddress(SerialNumber());
}

ModuleLineSettings SimState::ModbusLineSettings() const
{
    return ParseModbusSettings(ModbusSettingsText()).value_or(ModuleLineSettings{});
}

}  // namespace veltro::sim
