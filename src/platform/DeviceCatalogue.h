#pragma once
// The serial devices present now, each with the identity the kept COM numbers follow
// (PortMap.h). An identity must name the same adapter after it is pulled out and put back,
// in the same socket or another, so it is never the ttyUSB/ttyACM name the kernel hands
// out in plug-in order:
//  - a USB adapter with a serial number: its /dev/serial/by-id name (vendor, product,
//    serial number, interface), the same in every socket;
//  - a USB adapter without one: its /dev/serial/by-path name, i.e. its USB socket; two
//    identical adapters would otherwise share one by-id name;
//  - an on-board UART (a /dev/ttyS* with hardware behind it): its device path;
//  - a device with neither link (a system without udev): its device path.

#include <string>
#include <vector>

namespace veltro::platform {

// The identity prefixes, as written in the map file.
inline constexpr const char* kIdentityById = "by-id:";
inline constexpr const char* kIdentityByPath = "by-path:";
inline constexpr const char* kIdentityUart = "uart:";
inline constexpr const char* kIdentityDevice = "dev:";

struct PresentDevice {
    std::string device;    // "/dev/ttyUSB0"
    std::string identity;  // "by-id:usb-FTDI_FT232R_USB_UART_A50285BI-if00-port0"
    bool onboard = false;  // an on-board UART: numbered before any adapter

    bool operator==(const PresentDevice&) const = default;
};

class DeviceCatalogue {
public:
    virtual ~DeviceCatalogue() = default;
    // On-board UARTs first in /dev/ttyS* order, then the adapters (ttyUSB, ttyACM, then
    // any other device udev links as serial), each group in natural order.
    virtual std::vector<PresentDevice> Present() const = 0;
};

// The real system: /dev, /dev/serial/by-id and by-path, and sysfs for the UART type and
// the USB serial number. The roots can be moved for a test on a made-up tree.
class SystemCatalogue : public DeviceCatalogue {
public:
    explicit SystemCatalogue(std::string devRoot = "/dev", std::string sysRoot = "/sys");
    std::vector<PresentDevice> Present() const override;

private:
    std::string dev_;
    std::string sys_;
};

// The catalogue the port names use: the system's unless a test installed its own (nullptr
// puts the system's back). The installed object must outlive its use.
void InstallDeviceCatalogue(const DeviceCatalogue* catalogue);
const DeviceCatalogue& InstalledCatalogue();

}  // namespace veltro::platform
