#pragma once
// How a port name becomes a device path on Linux:
//  1. an entry COMn (a symlink, or a file whose first line names a device) in the
//     directory named by VELTRO_PORT_DIR stands for that port;
//  2. otherwise the serial devices present, in the order /dev/ttyS* backed by a real
//     UART, /dev/ttyUSB*, /dev/ttyACM*, are numbered COM1, COM2, ...;
//  3. a name starting with '/' is used as it is.
// "COM" is matched without regard to case ("Com2" is COM2).

#include <string>
#include <vector>

namespace veltro::platform {

struct PortEntry {
    std::string name;    // "COM3"
    std::string device;  // "/dev/ttyUSB0"
    int number = 0;      // 3
};

// The device path for a port name; empty when no device stands for it.
std::string ResolvePortName(const std::string& name);
// True when the port's device exists but this user may not open it for reading and
// writing (on Debian: not a member of the "dialout" group).
bool PortAccessDenied(const std::string& name);
// Every COMn that currently maps to a device, override directory first, in COM order.
std::vector<PortEntry> ListPorts();

}  // namespace veltro::platform
