#pragma once
// How a port name becomes a device path on Linux:
//  1. an entry COMn (a symlink, or a file whose first line names a device) in the
//     directory named by VELTRO_PORT_DIR stands for that port;
//  2. otherwise the kept map (PortMap.h): COMn is the adapter that holds n, when it is
//     present; a number held by an absent adapter stands for nothing;
//  3. a name starting with '/' is used as it is.
// "COM" is matched without regard to case ("Com2" is COM2). Looking a number up also
// numbers the devices seen for the first time, so the map is kept by whichever of our
// programs sees an adapter first.

#include "platform/PortMap.h"

#include <string>
#include <vector>

namespace veltro::platform {

struct PortEntry {
    std::string name;        // "COM3"
    std::string device;      // "/dev/ttyUSB0"; empty while the adapter holding the number is absent
    int number = 0;          // 3
    std::string identity;    // the adapter holding the number; for a VELTRO_PORT_DIR entry, the path it names
    std::string lastDevice;  // kept map: the device the adapter was last seen as
    bool fromPortDir = false;

    bool operator==(const PortEntry&) const = default;
};

struct ResolvedPort {
    std::string device;    // empty when nothing present stands for the name
    std::string identity;  // who the name stands for, present or not (PortEntry::identity)
};

// The device path for a port name and the adapter it belongs to.
ResolvedPort ResolvePort(const std::string& name);
// The device path for a port name; empty when no device stands for it.
std::string ResolvePortName(const std::string& name);
// True when the port's device exists but this user may not open it for reading and
// writing (on Debian: not a member of the "dialout" group).
bool PortAccessDenied(const std::string& name);
// Every number in use, in COM order: the VELTRO_PORT_DIR entries (whose device may be
// missing) and the kept map, present or not; an entry hides the map's same number.
std::vector<PortEntry> ListPorts();

// Gives the adapter holding COM`from` the free number `to`.
RenumberResult RenumberPort(int from, int to);
// Forgets the adapter holding the number, which becomes free; false when none held it.
// An adapter that is present gets the lowest free number again at once.
bool FreePort(int number);

}  // namespace veltro::platform
