#include "app/ModuleDefaults.h"

#include "app/Common.h"

namespace veltro::app {

int AutomaticAddress(const std::string& meterSerial)
{
    int32_t serial = 0;
    return (TryStrToInt(meterSerial, serial) ? serial % 100 : 0) + 100;
}

}  // namespace veltro::app
