#pragma once
// What a module uses when its meter holds no address or no line settings for it: the
// address from the meter serial number, and the settings it leaves the factory with.
// A blank or unusable address in "0.0.7" is the automatic one, and blank or unusable
// settings in "0.0.8" are the defaults: the module itself falls back to them, so a bad
// value can never leave it unreachable.

#include "core/RtuSettings.h"

#include <string>

namespace veltro::core {

struct ConfigRunResult;

// The serial number's last two digits plus 100 (100 when the serial number is no number).
int AutomaticAddress(const std::string& meterSerial);
// 9600 8N1.
inline constexpr RtuSettings DefaultModuleSettings{};

// "178 (automatico: ultime 2 cifre della matricola + 100)", as a job record states it.
std::string AutomaticAddressText(int address);
// "9600 8N1 (predefinite)"
std::string DefaultSettingsText();

// Where a module configured by a read or write run answers.
struct ModuleTarget {
    int Address = 100;
    RtuSettings Settings;
    bool AutomaticAddress = false;
    bool DefaultSettings = false;
};
// The address and settings the run read or wrote, or the automatic address (from
// meterSerial) and default settings where they are blank or unusable.
ModuleTarget TargetOfRun(const ConfigRunResult& run, const std::string& meterSerial);

}  // namespace veltro::core
