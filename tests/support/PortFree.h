#pragma once
// Whether a port can be opened: the Modbus connection opens a port exclusively, so a job
// that still holds it makes this fail.
#include "modbus/ModbusConnection.h"
#include "platform/UiDispatcher.h"

#include <stdexcept>
#include <string>

namespace veltro::test {

// Deliveries go through ui, or the process-wide dispatcher when null.
inline bool PortFree(const std::string& port, platform::UiDispatcher* ui = nullptr)
{
    modbus::TModbusConnection probe(ui);
    probe.SetPort(port);
    try {
        probe.SetActive(true);
    } catch (const std::exception&) {
        return false;
    }
    probe.SetActive(false);
    return true;
}

}  // namespace veltro::test
