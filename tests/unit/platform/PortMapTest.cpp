// The kept COM numbers over a made-up catalogue of devices, through the calls the serial
// device and the window use, with the map file in a folder of the test's own.
#include "platform/PortMap.h"
#include "platform/PortNames.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <sstream>

using namespace veltro::platform;
namespace fs = std::filesystem;

namespace {

class FakeCatalogue : public DeviceCatalogue {
public:
    std::vector<PresentDevice> devices;
    std::vector<PresentDevice> Present() const override { return devices; }
};

// A config folder of the test's own, no port directory, the fake catalogue installed.
class KeptNumbers : public ::testing::Test {
protected:
    void SetUp() override
    {
        char name[] = "/tmp/veltro-portmap-XXXXXX";
        ASSERT_TRUE(::mkdtemp(name));
        folder_ = name;
        Keep("XDG_CONFIG_HOME", folder_.c_str());
        Keep("VELTRO_PORT_DIR", nullptr);
        InstallDeviceCatalogue(&catalogue);
    }
    void TearDown() override
    {
        InstallDeviceCatalogue(nullptr);
        for (auto& [name, value] : saved_)
            value ? ::setenv(name.c_str(), value->c_str(), 1) : ::unsetenv(name.c_str());
        fs::remove_all(folder_);
    }
    void Keep(const char* name, const char* value)
    {
        const char* old = std::getenv(name);
        saved_.emplace_back(name, old ? std::optional<std::string>(old) : std::nullopt);
        value ? ::setenv(name, value, 1) : ::unsetenv(name);
    }
    std::string File() const { return folder_ + "/VeltroConf/porte-com.conf"; }

    FakeCatalogue catalogue;
    std::string folder_;
    std::vector<std::pair<std::string, std::optional<std::string>>> saved_;
};

std::string ReadAll(const std::string& path)
{
    std::ifstream in(path);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

ino_t Inode(const std::string& path)
{
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 ? st.st_ino : 0;
}

const PresentDevice kUart0{"/dev/ttyS0", "uart:/dev/ttyS0", true};
const PresentDevice kUart1{"/dev/ttyS1", "uart:/dev/ttyS1", true};
const std::string kHead = "by-id:usb-Optical_Head_OH123-if00-port0";
const std::string kRs485 = "by-id:usb-FTDI_FT232R_USB_UART_A50285BI-if00-port0";
const std::string kSocket2 = "by-path:pci-0000:00:14.0-usb-0:2:1.0-port0";
const std::string kSocket3 = "by-path:pci-0000:00:14.0-usb-0:3:1.0-port0";

}  // namespace

TEST_F(KeptNumbers, AnAdapterKeepsItsNumberUntilTheUserFreesOrMovesIt)
{
    struct Step {
        const char* what;
        std::vector<PresentDevice> present;
        std::function<void()> action;  // done after the devices are seen
        const char* expected;          // every number with its device, "-" while its adapter is absent
    };
    const std::vector<Step> steps = {
        {"on-board UARTs first, in ttyS order, then the adapter",
         {{"/dev/ttyUSB0", kHead}, kUart0, kUart1}, {}, "COM1 /dev/ttyS0, COM2 /dev/ttyS1, COM3 /dev/ttyUSB0"},
        {"a second adapter gets the next number",
         {kUart0, kUart1, {"/dev/ttyUSB0", kHead}, {"/dev/ttyUSB1", kRs485}}, {},
         "COM1 /dev/ttyS0, COM2 /dev/ttyS1, COM3 /dev/ttyUSB0, COM4 /dev/ttyUSB1"},
        {"the first pulled out: its number names nothing and the other keeps its own",
         {kUart0, kUart1, {"/dev/ttyUSB1", kRs485}}, {},
         "COM1 /dev/ttyS0, COM2 /dev/ttyS1, COM3 -, COM4 /dev/ttyUSB1"},
        {"an adapter without serial number, seen while the first is out, gets a free number",
         {kUart0, kUart1, {"/dev/ttyUSB1", kRs485}, {"/dev/ttyUSB0", kSocket2}}, {},
         "COM1 /dev/ttyS0, COM2 /dev/ttyS1, COM3 -, COM4 /dev/ttyUSB1, COM5 /dev/ttyUSB0"},
        {"the first back in another socket under another node",
         {kUart0, kUart1, {"/dev/ttyUSB1", kRs485}, {"/dev/ttyUSB0", kSocket2}, {"/dev/ttyUSB2", kHead}}, {},
         "COM1 /dev/ttyS0, COM2 /dev/ttyS1, COM3 /dev/ttyUSB2, COM4 /dev/ttyUSB1, COM5 /dev/ttyUSB0"},
        {"the adapter without serial number moved to another socket counts as new",
         {kUart0, kUart1, {"/dev/ttyUSB1", kRs485}, {"/dev/ttyUSB0", kSocket3}, {"/dev/ttyUSB2", kHead}}, {},
         "COM1 /dev/ttyS0, COM2 /dev/ttyS1, COM3 /dev/ttyUSB2, COM4 /dev/ttyUSB1, COM5 -, COM6 /dev/ttyUSB0"},
        {"a freed number goes to the next adapter seen",
         {kUart0, kUart1, {"/dev/ttyUSB1", kRs485}, {"/dev/ttyUSB2", kHead}},
         [] { EXPECT_TRUE(FreePort(5)); EXPECT_TRUE(FreePort(6)); EXPECT_FALSE(FreePort(6)); },
         "COM1 /dev/ttyS0, COM2 /dev/ttyS1, COM3 /dev/ttyUSB2, COM4 /dev/ttyUSB1"},
        {"an adapter moved to a free number, never to a taken one",
         {kUart0, kUart1, {"/dev/ttyUSB1", kRs485}, {"/dev/ttyUSB2", kHead}},
         [] {
             EXPECT_EQ(RenumberPort(4, 10), RenumberResult::Done);
             EXPECT_EQ(RenumberPort(10, 3), RenumberResult::Taken);
             EXPECT_EQ(RenumberPort(4, 11), RenumberResult::NotHeld);
             EXPECT_EQ(RenumberPort(10, 0), RenumberResult::OutOfRange);
         },
         "COM1 /dev/ttyS0, COM2 /dev/ttyS1, COM3 /dev/ttyUSB2, COM10 /dev/ttyUSB1"},
        {"a new adapter takes the lowest free number, below a moved one",
         {kUart0, kUart1, {"/dev/ttyUSB1", kRs485}, {"/dev/ttyUSB2", kHead}, {"/dev/ttyUSB0", kSocket2}}, {},
         "COM1 /dev/ttyS0, COM2 /dev/ttyS1, COM3 /dev/ttyUSB2, COM4 /dev/ttyUSB0, COM10 /dev/ttyUSB1"},
    };
    for (const Step& step : steps) {
        SCOPED_TRACE(step.what);
        catalogue.devices = step.present;
        ListPorts();  // the devices seen
        if (step.action)
            step.action();
        std::string shown;
        for (const PortEntry& port : ListPorts()) {
            shown += (shown.empty() ? "" : ", ") + port.name + " " + (port.device.empty() ? "-" : port.device);
            EXPECT_EQ(ResolvePortName(port.name), port.device);
        }
        EXPECT_EQ(shown, step.expected);
    }
    // The file is the map: read back by the next program that starts.
    EXPECT_NE(ReadAll(File()).find("COM10\t" + kRs485 + "\t/dev/ttyUSB1\n"), std::string::npos);
}

TEST_F(KeptNumbers, ADamagedFileCostsOnlyTheLinesItLost)
{
    fs::create_directories(folder_ + "/VeltroConf");
    std::ofstream(File(), std::ios::binary) << std::string("\0\xff\x01garbage\n", 11)
                                            << "COM7\t" << kRs485 << "\t/dev/ttyUSB4\n"
                                            << "COM7\t" << kHead << "\t/dev/ttyUSB5\n"  // the number twice
                                            << "COMX\t" << kSocket2 << "\t/dev/ttyUSB6\n"
                                            << "COM2\t" << kRs485 << "\n";  // cut short
    catalogue.devices = {{"/dev/ttyUSB0", kHead}, {"/dev/ttyUSB1", kRs485}};
    EXPECT_EQ(ResolvePortName("COM7"), "/dev/ttyUSB1");
    EXPECT_EQ(ResolvePortName("COM1"), "/dev/ttyUSB0");
    EXPECT_EQ(ReadAll(File()), PortMap::FromText(ReadAll(File())).Text()) << "rewritten clean";
}

TEST_F(KeptNumbers, TheFileIsReplacedWholeAndOnlyWhenTheMapChanges)
{
    catalogue.devices = {kUart0, {"/dev/ttyUSB0", kHead}};
    ListPorts();
    const std::string first = ReadAll(File());
    const ino_t inode = Inode(File());
    ASSERT_NE(inode, 0u);

    ListPorts();
    ResolvePortName("COM2");
    EXPECT_EQ(Inode(File()), inode) << "nothing changed, nothing written";

    std::ifstream before(File());  // a reader that opened the old map
    catalogue.devices.push_back({"/dev/ttyUSB1", kRs485});
    ListPorts();
    std::ostringstream old;
    old << before.rdbuf();
    EXPECT_EQ(old.str(), first) << "the old file was never written over";
    EXPECT_NE(Inode(File()), inode);
    EXPECT_EQ(PortMap::FromText(ReadAll(File())).Entries().size(), 3u);
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(folder_ + "/VeltroConf"))
        names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (std::vector<std::string>{"porte-com.conf", "porte-com.conf.lock"})) << "no temporary left";
}
