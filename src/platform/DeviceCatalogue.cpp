#include "platform/DeviceCatalogue.h"

#include <algorithm>
#include <atomic>
#include <filesystem>
#include <fstream>
#include <map>
#include <set>

namespace veltro::platform {

namespace fs = std::filesystem;

namespace {

std::string Canonical(const fs::path& path)
{
    std::error_code ec;
    const fs::path real = fs::canonical(path, ec);
    return ec ? path.string() : real.string();
}

// Device (followed to its node) -> link name, for one of udev's /dev/serial folders. udev
// may give one device two names there (by-path has "usb-" and "usbv2-" forms); the
// smallest name is taken, so the choice is the same at every look.
std::map<std::string, std::string> Links(const fs::path& folder)
{
    std::map<std::string, std::string> names;
    std::error_code ec;
    for (const auto& entry : fs::directory_iterator(folder, ec)) {
        const std::string name = entry.path().filename().string();
        auto [it, added] = names.emplace(Canonical(entry.path()), name);
        if (!added && name < it->second)
            it->second = name;
    }
    return names;
}

std::string FirstLine(const fs::path& file)
{
    std::ifstream in(file);
    std::string line;
    std::getline(in, line);
    while (!line.empty() && (line.back() == ' ' || line.back() == '\r' || line.back() == '\n'))
        line.pop_back();
    return line;
}

class Scan {
public:
    Scan(const std::string& dev, const std::string& sys) : dev_(dev), sys_(sys) {}

    // ttyS nodes exist for every possible legacy UART; only those with hardware behind
    // them count, which sysfs shows as a non-zero port type.
    bool IsRealUart(const std::string& tty) const
    {
        std::ifstream type(sys_ / "class/tty" / tty / "type");
        int value = 0;
        return (type >> value) && value != 0;
    }

    // The USB device above the tty in sysfs carries the serial number, when the maker
    // gave it one (many cheap adapters have none).
    bool HasSerialNumber(const std::string& tty) const
    {
        std::error_code ec;
        fs::path dir = fs::canonical(sys_ / "class/tty" / tty / "device", ec);
        const fs::path top = fs::canonical(sys_, ec);
        if (ec)
            return false;
        for (; !dir.empty() && dir != top && dir != dir.parent_path(); dir = dir.parent_path()) {
            if (fs::exists(dir / "idVendor", ec))
                return !FirstLine(dir / "serial").empty();
        }
        return false;
    }

    // Natural order: ttyUSB2 before ttyUSB10.
    std::vector<std::string> Named(const std::string& prefix) const
    {
        std::vector<std::pair<long, std::string>> found;
        std::error_code ec;
        for (const auto& e : fs::directory_iterator(dev_, ec)) {
            const std::string name = e.path().filename().string();
            if (name.rfind(prefix, 0) != 0 || name.size() == prefix.size() || name.size() > prefix.size() + 6)
                continue;
            const std::string digits = name.substr(prefix.size());
            if (digits.find_first_not_of("0123456789") != std::string::npos)
                continue;
            if (prefix == "ttyS" && !IsRealUart(name))
                continue;
            found.emplace_back(std::stol(digits), name);
        }
        std::sort(found.begin(), found.end());
        std::vector<std::string> out;
        for (auto& f : found)
            out.push_back(std::move(f.second));
        return out;
    }

    std::vector<PresentDevice> Run() const
    {
        const auto byId = Links(dev_ / "serial/by-id");
        const auto byPath = Links(dev_ / "serial/by-path");
        std::vector<PresentDevice> out;
        std::set<std::string> seen;
        for (const std::string& tty : Named("ttyS")) {
            const std::string device = (dev_ / tty).string();
            seen.insert(Canonical(device));
            out.push_back({device, kIdentityUart + device, true});
        }
        auto adapter = [&](const std::string& device, const std::string& tty) {
            const std::string real = Canonical(device);
            if (!seen.insert(real).second)
                return;
            PresentDevice d{device, kIdentityDevice + device, false};
            const auto id = byId.find(real);
            const auto path = byPath.find(real);
            if (id != byId.end() && HasSerialNumber(tty))
                d.identity = kIdentityById + id->second;
            else if (path != byPath.end())
                d.identity = kIdentityByPath + path->second;
            out.push_back(std::move(d));
        };
        for (const char* prefix : {"ttyUSB", "ttyACM"})
            for (const std::string& tty : Named(prefix))
                adapter((dev_ / tty).string(), tty);
        // Adapters whose driver names its nodes otherwise (vendor drivers) still get a
        // udev link; the links' targets are in name order already.
        const std::string devices = Canonical(dev_) + "/";
        for (const auto* links : {&byId, &byPath})
            for (const auto& [real, name] : *links)
                if (real.rfind(devices, 0) == 0)
                    adapter(real, fs::path(real).filename().string());
        return out;
    }

private:
    fs::path dev_;
    fs::path sys_;
};

std::atomic<const DeviceCatalogue*> gInstalled{nullptr};

}  // namespace

SystemCatalogue::SystemCatalogue(std::string devRoot, std::string sysRoot)
    : dev_(std::move(devRoot)), sys_(std::move(sysRoot))
{
}

std::vector<PresentDevice> SystemCatalogue::Present() const
{
    return Scan(dev_, sys_).Run();
}

void InstallDeviceCatalogue(const DeviceCatalogue* catalogue)
{
    gInstalled = catalogue;
}

const DeviceCatalogue& InstalledCatalogue()
{
    static const SystemCatalogue system;
    const DeviceCatalogue* installed = gInstalled;
    return installed ? *installed : system;
}

}  // namespace veltro::platform
