// veltro-ports: prints which device each COM port number stands for, so a technician
// can pick the right number in the window without reading any code.
#include "platform/PortNames.h"

#include <cstdio>
#include <cstdlib>

int main()
{
    const auto ports = veltro::platform::ListPorts();
    if (const char* dir = std::getenv("VELTRO_PORT_DIR"); dir && *dir)
        std::printf("override directory: %s\n", dir);
    if (ports.empty()) {
        std::printf("no serial ports found\n");
        return 0;
    }
    for (const auto& p : ports)
        std::printf("%-6s %s\n", p.name.c_str(), p.device.c_str());
    return 0;
}
