#include "platform/PortNames.h"

#include <cerrno>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string_view>

namespace veltro::platform {

namespace fs = std::filesystem;

namespace {

// The n of "COMn" (any case), or 0 when the name is not of that form.
int ComNumber(std::string_view name)
{
    if (name.size() < 4)
        return 0;
    auto lower = [](char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c + 32) : c; };
    if (lower(name[0]) != 'c' || lower(name[1]) != 'o' || lower(name[2]) != 'm')
        return 0;
    int n = 0;
    for (char c : name.substr(3)) {
        if (c < '0' || c > '9' || n > 100000)
            return 0;
        n = n * 10 + (c - '0');
    }
    return n;
}

std::string OverrideEntry(int n)
{
    const char* dir = std::getenv("VELTRO_PORT_DIR");
    if (!dir || !*dir)
        return {};
    const fs::path entry = fs::path(dir) / ("COM" + std::to_string(n));
    std::error_code ec;
    if (fs::is_symlink(entry, ec)) {
        fs::path target = fs::read_symlink(entry, ec);
        if (ec)
            return {};
        if (target.is_relative())
            target = entry.parent_path() / target;
        return target.string();
    }
    if (fs::is_regular_file(entry, ec)) {
        std::ifstream in(entry);
        std::string line;
        std::getline(in, line);
        while (!line.empty() && (line.back() == '\r' || line.back() == ' '))
            line.pop_back();
        return line;
    }
    return {};
}

// ttyS devices exist for every possible legacy UART; only those with hardware behind
// them count, which sysfs shows as a non-zero port type.
bool IsRealUart(const std::string& ttyName)
{
    std::ifstream type("/sys/class/tty/" + ttyName + "/type");
    int value = 0;
    return (type >> value) && value != 0;
}

// Natural order: ttyUSB2 before ttyUSB10.
std::vector<std::string> DevicesWithPrefix(const std::string& prefix)
{
    std::vector<std::pair<long, std::string>> found;
    std::error_code ec;
    for (const auto& e : fs::directory_iterator("/dev", ec)) {
        const std::string name = e.path().filename().string();
        if (name.rfind(prefix, 0) != 0 || name.size() == prefix.size())
            continue;
        const std::string digits = name.substr(prefix.size());
        if (digits.find_first_not_of("0123456789") != std::string::npos)
            continue;
        if (prefix == "ttyS" && !IsRealUart(name))
            continue;
        found.emplace_back(std::stol(digits), "/dev/" + name);
    }
    std::sort(found.begin(), found.end());
    std::vector<std::string> out;
    for (auto& f : found)
        out.push_back(f.second);
    return out;
}

std::vector<std::string> SystemDevices()
{
    std::vector<std::string> all;
    for (const char* prefix : {"ttyS", "ttyUSB", "ttyACM"}) {
        auto part = DevicesWithPrefix(prefix);
        all.insert(all.end(), part.begin(), part.end());
    }
    return all;
}

}  // namespace

std::string ResolvePortName(const std::string& name)
{
    if (!name.empty() && name[0] == '/')
        return name;
    const int n = ComNumber(name);
    if (n <= 0)
        return {};
    if (std::string entry = OverrideEntry(n); !entry.empty())
        return entry;
    const auto devices = SystemDevices();
    if (static_cast<size_t>(n) <= devices.size())
        return devices[n - 1];
    return {};
}

std::vector<PortEntry> ListPorts()
{
    std::vector<PortEntry> out;
    const auto devices = SystemDevices();
    int highest = static_cast<int>(devices.size());
    if (const char* dir = std::getenv("VELTRO_PORT_DIR"); dir && *dir) {
        std::error_code ec;
        for (const auto& e : fs::directory_iterator(dir, ec))
            highest = std::max(highest, ComNumber(e.path().filename().string()));
    }
    for (int n = 1; n <= highest; ++n) {
        const std::string device = ResolvePortName("COM" + std::to_string(n));
        if (!device.empty())
            out.push_back({"COM" + std::to_string(n), device, n});
    }
    return out;
}

bool PortAccessDenied(const std::string& name)
{
    const std::string device = ResolvePortName(name);
    return !device.empty() && ::access(device.c_str(), R_OK | W_OK) != 0 && errno == EACCES;
}

}  // namespace veltro::platform
