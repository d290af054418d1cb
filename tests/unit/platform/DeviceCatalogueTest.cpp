// The scan of the devices present, on a made-up /dev and /sys laid out as udev and the
// kernel lay them out.
#include "platform/DeviceCatalogue.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>

using namespace veltro::platform;
namespace fs = std::filesystem;

namespace {

class Tree {
public:
    Tree()
    {
        char name[] = "/tmp/veltro-devtree-XXXXXX";
        root_ = ::mkdtemp(name) ? name : "";
    }
    ~Tree() { fs::remove_all(root_); }
    fs::path Dev() const { return root_ / "dev"; }
    fs::path Sys() const { return root_ / "sys"; }

    void Write(const fs::path& file, const std::string& text) const
    {
        fs::create_directories(file.parent_path());
        std::ofstream(file) << text;
    }
    void Link(const fs::path& link, const fs::path& target) const
    {
        fs::create_directories(link.parent_path());
        fs::create_symlink(target, link);
    }
    void Uart(const std::string& tty, int type) const
    {
        Write(Dev() / tty, "");
        Write(Sys() / "class/tty" / tty / "type", std::to_string(type) + "\n");
    }
    // A USB serial adapter in the given USB port, with or without a serial number.
    void Usb(const std::string& tty, const std::string& usbPort, const std::string& serial) const
    {
        Write(Dev() / tty, "");
        const fs::path device = Sys() / "devices/pci0000:00/usb1" / usbPort;
        Write(device / "idVendor", "0403\n");
        if (!serial.empty())
            Write(device / "serial", serial + "\n");
        Write(device / (usbPort + ":1.0") / tty / "dev", "188:0\n");
        Link(Sys() / "class/tty" / tty / "device", device / (usbPort + ":1.0") / tty);
    }

private:
    fs::path root_;
};

}  // namespace

TEST(DeviceCatalogue, EachDeviceIsKnownByTheNameThatFollowsItsAdapter)
{
    Tree tree;
    tree.Uart("ttyS1", 4);
    tree.Uart("ttyS0", 4);
    tree.Uart("ttyS2", 0);  // a legacy node with no UART behind it
    tree.Usb("ttyUSB10", "1-1", "A50285BI");
    tree.Usb("ttyUSB2", "1-2", "");  // a maker that gave it no serial number
    tree.Usb("ttyUSB3", "1-3", "");  // neither link: no udev
    tree.Write(tree.Dev() / "ttyACM0", "");
    tree.Link(tree.Dev() / "serial/by-id/usb-FTDI_FT232R_USB_UART_A50285BI-if00-port0", "../../ttyUSB10");
    tree.Link(tree.Dev() / "serial/by-path/pci-0000:00:14.0-usb-0:1:1.0-port0", "../../ttyUSB10");
    tree.Link(tree.Dev() / "serial/by-id/usb-1a86_USB_Serial-if00-port0", "../../ttyUSB2");
    tree.Link(tree.Dev() / "serial/by-path/pci-0000:00:14.0-usbv2-0:2:1.0-port0", "../../ttyUSB2");
    tree.Link(tree.Dev() / "serial/by-path/pci-0000:00:14.0-usb-0:2:1.0-port0", "../../ttyUSB2");
    tree.Link(tree.Dev() / "serial/by-id/usb-Maker_Modem_77-if00", "../../ttyACM0");
    tree.Write(tree.Sys() / "class/tty/ttyACM0/type", "0\n");  // no USB device above it here
    tree.Write(tree.Dev() / "ttyXRUSB0", "");                   // a vendor driver's node
    tree.Link(tree.Dev() / "serial/by-path/pci-0000:00:14.0-usb-0:4:1.0", "../../ttyXRUSB0");

    const std::string dev = tree.Dev().string();
    const std::vector<PresentDevice> expected = {
        {dev + "/ttyS0", "uart:" + dev + "/ttyS0", true},
        {dev + "/ttyS1", "uart:" + dev + "/ttyS1", true},
        {dev + "/ttyUSB2", "by-path:pci-0000:00:14.0-usb-0:2:1.0-port0", false},
        {dev + "/ttyUSB3", "dev:" + dev + "/ttyUSB3", false},
        {dev + "/ttyUSB10", "by-id:usb-FTDI_FT232R_USB_UART_A50285BI-if00-port0", false},
        {dev + "/ttyACM0", "dev:" + dev + "/ttyACM0", false},
        {fs::canonical(tree.Dev()).string() + "/ttyXRUSB0", "by-path:pci-0000:00:14.0-usb-0:4:1.0", false},
    };
    EXPECT_EQ(SystemCatalogue(dev, tree.Sys().string()).Present(), expected);
}
