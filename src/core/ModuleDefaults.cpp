#include "core/ModuleDefaults.h"

#include "core/Common.h"
#include "core/ConfigRun.h"

namespace veltro::core {

int AutomaticAddress(const std::string& meterSerial)
{
    int32_t serial = 0;
    return (TryStrToInt(meterSerial, serial) ? serial % 100 : 0) + 100;
}

std::string AutomaticAddressText(int address)
{
    return std::to_string(address) + " (automatico: ultime 2 cifre della matricola + 100)";
}

std::string DefaultSettingsText()
{
    return DefaultModuleSettings.Text() + " (predefinite)";
}

ModuleTarget TargetOfRun(const ConfigRunResult& run, const std::string& meterSerial)
{
    ModuleTarget target;
    const auto value = [&](const char* code) {
        const auto it = run.registers.find(code);
        return it == run.registers.end() ? std::string() : it->second;
    };
    int32_t address = 0;
    if (TryStrToInt(value(kModbusAddressCode), address) && address >= 1 && address <= 247) {
        target.Address = address;
    } else {
        target.Address = AutomaticAddress(meterSerial);
        target.AutomaticAddress = true;
    }
    if (const std::optional<RtuSettings> settings = ParseRtuSettings(value(kModbusSettingsCode))) {
        target.Settings = *settings;
    } else {
        target.DefaultSettings = true;
    }
    return target;
}

}  // namespace veltro::core
