#pragma once
// What the window says, in Italian, when a port cannot be opened: the library's error text
// alone ("Could not open serial port") says neither why nor what to do.

#include <QString>

#include <string>

namespace veltro::core {

// Empty unless the port's device exists and access to it is denied.
QString AccessDeniedHint(const std::string& portName);

// Why a port could not be opened, from the system error of the attempt: another program
// holds it, nothing answers to the number, the user may not open it, or the system's own
// words for anything else.
QString PortOpenFailureText(const std::string& portName, int error);

}  // namespace veltro::core
