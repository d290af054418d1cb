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

const char* PortDir()
{
    const char* dir = std::getenv("VELTRO_PORT_DIR");
    return dir && *dir ? dir : nullptr;
}

std::string OverrideEntry(int n)
{
    const char* dir = PortDir();
    if (!dir)
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

// The devices present and the kept map brought up to date with them.
struct KeptPorts {
    std::vector<PresentDevice> present;
    PortMap map;

    static KeptPorts Now(const std::function<void(PortMap&)>& change = {})
    {
        KeptPorts kept;
        kept.present = InstalledCatalogue().Present();
        kept.map = PortMapFile().Edit([&](PortMap& map) {
            if (change)
                change(map);
            map.Update(kept.present);
        });
        return kept;
    }

    // The device the holder is now; empty while it is absent.
    std::string DeviceOf(const PortMapEntry& holder) const
    {
        const auto it = std::find_if(present.begin(), present.end(),
                                     [&](const PresentDevice& d) { return d.identity == holder.identity; });
        return it == present.end() ? std::string() : it->device;
    }
};

}  // namespace

ResolvedPort ResolvePort(const std::string& name)
{
    if (!name.empty() && name[0] == '/')
        return {name, name};
    const int n = ComNumber(name);
    if (n <= 0)
        return {};
    if (std::string entry = OverrideEntry(n); !entry.empty())
        return {entry, entry};
    const KeptPorts kept = KeptPorts::Now();
    if (const PortMapEntry* holder = kept.map.Holder(n))
        return {kept.DeviceOf(*holder), holder->identity};
    return {};
}

std::string ResolvePortName(const std::string& name)
{
    return ResolvePort(name).device;
}

std::vector<PortEntry> ListPorts()
{
    std::vector<PortEntry> out;
    if (const char* dir = PortDir()) {
        std::error_code ec;
        for (const auto& e : fs::directory_iterator(dir, ec)) {
            const std::string name = e.path().filename().string();
            const int n = ComNumber(name);
            // Only the canonical spelling: "com3" beside "COM3" would list the port twice.
            if (n <= 0 || name != "COM" + std::to_string(n))
                continue;
            if (std::string device = OverrideEntry(n); !device.empty())
                out.push_back({name, device, n, device, device, true});
        }
    }
    const KeptPorts kept = KeptPorts::Now();
    for (const PortMapEntry& e : kept.map.Entries()) {
        if (std::any_of(out.begin(), out.end(), [&](const PortEntry& p) { return p.number == e.number; }))
            continue;
        out.push_back({"COM" + std::to_string(e.number), kept.DeviceOf(e), e.number, e.identity, e.lastDevice, false});
    }
    std::sort(out.begin(), out.end(), [](const PortEntry& a, const PortEntry& b) { return a.number < b.number; });
    return out;
}

RenumberResult RenumberPort(int from, int to)
{
    RenumberResult result = RenumberResult::NotHeld;
    KeptPorts::Now([&](PortMap& map) { result = map.Renumber(from, to); });
    return result;
}

bool FreePort(int number)
{
    bool freed = false;
    KeptPorts::Now([&](PortMap& map) { freed = map.Free(number); });
    return freed;
}

bool PortAccessDenied(const std::string& name)
{
    const std::string device = ResolvePortName(name);
    return !device.empty() && ::access(device.c_str(), R_OK | W_OK) != 0 && errno == EACCES;
}

}  // namespace veltro::platform
