#include "core/ModuleDefaults.h"

#include "core/Common.h"

namespace veltro::core {

int AutomaticAddress(const std::string& meterSerial)
{
    int32_t serial = 0;
    return (TryStrToInt(meterSerial, serial) ? serial % 100 : 0) + 100;
}

}  // namespace veltro::core
