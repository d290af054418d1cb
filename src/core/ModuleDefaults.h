#pragma once
// What a module uses when its meter holds no address or no line settings for it: the
// address from the meter serial number, and the settings it leaves the factory with.

#include "core/RtuSettings.h"

#include <string>

namespace veltro::core {

// The serial number's last two digits plus 100 (100 when the serial number is no number).
int AutomaticAddress(const std::string& meterSerial);
// 9600 8N1.
inline constexpr RtuSettings DefaultModuleSettings{};

}  // namespace veltro::core
