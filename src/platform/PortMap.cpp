#include "platform/PortMap.h"

#include <fcntl.h>
#include <pwd.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

namespace veltro::platform {

namespace fs = std::filesystem;

namespace {

constexpr std::string_view kHeader =
    "# VeltroConf: numeri delle porte COM assegnati agli adattatori seriali.\n"
    "# Ogni numero resta all'adattatore che lo ha ricevuto, anche quando è scollegato.\n"
    "# Per riga, separati da una tabulazione: numero, adattatore, ultimo dispositivo visto.\n"
    "# Per cambiare un numero o liberarlo: il pulsante \"...\" accanto al numero della porta\n"
    "# nella finestra, oppure veltro-ports --cambia / --libera.\n";

// "COM12" (any case) -> 12; 0 when the text is not of that form or out of range.
int ParseNumber(std::string_view text)
{
    if (text.size() < 4 || text.size() > 6)
        return 0;
    for (size_t i = 0; i < 3; ++i)
        if ((text[i] | 0x20) != "com"[i])
            return 0;
    int n = 0;
    for (char c : text.substr(3)) {
        if (c < '0' || c > '9')
            return 0;
        n = n * 10 + (c - '0');
    }
    return n <= PortMap::kMaxNumber ? n : 0;
}

bool Printable(std::string_view text)
{
    return std::none_of(text.begin(), text.end(), [](char c) { return static_cast<unsigned char>(c) < 0x20; });
}

std::string ReadAll(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return in ? text.str() : std::string();
}

bool WriteAll(int fd, const std::string& text)
{
    size_t done = 0;
    while (done < text.size()) {
        const ssize_t n = ::write(fd, text.data() + done, text.size() - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        done += static_cast<size_t>(n);
    }
    return true;
}

// Written beside the old file, made durable, then renamed over it: a reader (another of
// our programs, or the same one after a power cut) sees the old map or the new one whole,
// never a half-written file.
void WriteAtomically(const std::string& path, const std::string& text)
{
    std::string temp = path + ".XXXXXX";
    const int fd = ::mkstemp(temp.data());
    if (fd < 0)
        return;
    const bool written = WriteAll(fd, text) && ::fchmod(fd, 0644) == 0 && ::fsync(fd) == 0;
    const bool closed = ::close(fd) == 0;
    if (!written || !closed || ::rename(temp.c_str(), path.c_str()) != 0) {
        ::unlink(temp.c_str());
        return;
    }
    // The rename itself reaches the disk with the folder.
    const int dir = ::open(fs::path(path).parent_path().c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dir >= 0) {
        ::fsync(dir);
        ::close(dir);
    }
}

// An advisory lock on a file beside the map (the map itself is replaced by each write, so
// it cannot carry the lock), held for one read-modify-write. The holders are our own
// programs for a few milliseconds; one that hangs while holding it is waited for a while,
// then numbering goes on without the lock rather than freezing the window.
class MapLock {
public:
    explicit MapLock(const std::string& mapPath)
    {
        fd_ = ::open((mapPath + ".lock").c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
        if (fd_ < 0)
            return;
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(2);
        while (::flock(fd_, LOCK_EX | LOCK_NB) != 0 && (errno == EWOULDBLOCK || errno == EINTR) &&
               std::chrono::steady_clock::now() < deadline)
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    ~MapLock()
    {
        if (fd_ >= 0)
            ::close(fd_);  // releases the lock
    }
    MapLock(const MapLock&) = delete;
    MapLock& operator=(const MapLock&) = delete;

private:
    int fd_ = -1;
};

std::string ConfigHome()
{
    // A relative XDG_CONFIG_HOME is to be ignored, as the settings file does.
    if (const char* xdg = std::getenv("XDG_CONFIG_HOME"); xdg && xdg[0] == '/')
        return xdg;
    if (const char* home = std::getenv("HOME"); home && *home)
        return std::string(home) + "/.config";
    if (const passwd* user = ::getpwuid(::getuid()); user && user->pw_dir)
        return std::string(user->pw_dir) + "/.config";
    return "/tmp";
}

}  // namespace

void PortMap::Insert(PortMapEntry entry)
{
    const auto at = std::lower_bound(entries_.begin(), entries_.end(), entry.number,
                                     [](const PortMapEntry& e, int n) { return e.number < n; });
    entries_.insert(at, std::move(entry));
}

const PortMapEntry* PortMap::Holder(int number) const
{
    const auto it = std::find_if(entries_.begin(), entries_.end(), [&](const auto& e) { return e.number == number; });
    return it == entries_.end() ? nullptr : &*it;
}

const PortMapEntry* PortMap::Of(const std::string& identity) const
{
    const auto it =
        std::find_if(entries_.begin(), entries_.end(), [&](const auto& e) { return e.identity == identity; });
    return it == entries_.end() ? nullptr : &*it;
}

int PortMap::LowestFree() const
{
    int n = 1;
    for (const PortMapEntry& e : entries_) {  // in number order
        if (e.number > n)
            break;
        n = e.number + 1;
    }
    return n <= kMaxNumber ? n : 0;
}

void PortMap::Update(const std::vector<PresentDevice>& present)
{
    std::vector<const PresentDevice*> order;
    for (const PresentDevice& d : present)
        order.push_back(&d);
    std::stable_partition(order.begin(), order.end(), [](const PresentDevice* d) { return d->onboard; });
    for (const PresentDevice* d : order) {
        if (d->identity.empty())
            continue;
        const auto known = std::find_if(entries_.begin(), entries_.end(),
                                        [&](const PortMapEntry& e) { return e.identity == d->identity; });
        if (known != entries_.end()) {
            known->lastDevice = d->device;
            continue;
        }
        if (const int n = LowestFree())
            Insert({n, d->identity, d->device});
    }
}

RenumberResult PortMap::Renumber(int from, int to)
{
    const PortMapEntry* holder = Holder(from);
    if (!holder)
        return RenumberResult::NotHeld;
    if (to < 1 || to > kMaxNumber)
        return RenumberResult::OutOfRange;
    if (to == from)
        return RenumberResult::Done;
    if (Holder(to))
        return RenumberResult::Taken;
    PortMapEntry moved = *holder;
    moved.number = to;
    Free(from);
    Insert(std::move(moved));
    return RenumberResult::Done;
}

bool PortMap::Free(int number)
{
    const auto before = entries_.size();
    std::erase_if(entries_, [&](const PortMapEntry& e) { return e.number == number; });
    return entries_.size() != before;
}

std::string PortMap::Text() const
{
    std::string text(kHeader);
    for (const PortMapEntry& e : entries_)
        text += "COM" + std::to_string(e.number) + '\t' + e.identity + '\t' + e.lastDevice + '\n';
    return text;
}

PortMap PortMap::FromText(std::string_view text)
{
    PortMap map;
    while (!text.empty()) {
        const size_t end = text.find('\n');
        std::string_view line = text.substr(0, end);
        text = end == std::string_view::npos ? std::string_view() : text.substr(end + 1);
        if (!line.empty() && line.back() == '\r')
            line.remove_suffix(1);
        if (line.empty() || line[0] == '#')
            continue;
        const size_t tab1 = line.find('\t');
        const size_t tab2 = tab1 == std::string_view::npos ? tab1 : line.find('\t', tab1 + 1);
        if (tab2 == std::string_view::npos)
            continue;
        const int number = ParseNumber(line.substr(0, tab1));
        const std::string identity(line.substr(tab1 + 1, tab2 - tab1 - 1));
        const std::string_view device = line.substr(tab2 + 1);
        if (number == 0 || identity.empty() || !Printable(identity) || !Printable(device) || map.Holder(number) ||
            map.Of(identity))
            continue;
        map.Insert({number, identity, std::string(device)});
    }
    return map;
}

PortMapFile::PortMapFile(std::string path) : path_(std::move(path)) {}

std::string PortMapFile::DefaultPath()
{
    return ConfigHome() + "/VeltroConf/porte-com.conf";
}

PortMap PortMapFile::Edit(const std::function<void(PortMap&)>& change) const
{
    std::error_code ec;
    fs::create_directories(fs::path(path_).parent_path(), ec);
    MapLock lock(path_);
    const std::string before = ReadAll(path_);
    PortMap map = PortMap::FromText(before);
    change(map);
    const std::string after = map.Text();
    // Nothing to keep yet: no file is made for a machine that never had a serial device.
    if (after != before && !(before.empty() && map.Entries().empty()))
        WriteAtomically(path_, after);
    return map;
}

}  // namespace veltro::platform
