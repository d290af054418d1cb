#pragma once
// What the window adds, in Italian, when a port exists but the user may not open it: the
// library's error text alone ("Could not open serial port") does not say what to do.

#include <QString>

#include <string>

namespace veltro::app {

// Empty unless the port's device exists and access to it is denied.
QString AccessDeniedHint(const std::string& portName);

}  // namespace veltro::app
