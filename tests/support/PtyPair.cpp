#include "support/PtyPair.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <poll.h>
#include <pty.h>
#include <stdexcept>
#include <termios.h>
#include <unistd.h>

namespace veltro::test {

namespace fs = std::filesystem;

PortDir::PortDir()
{
    char tmpl[] = "/tmp/veltro-ports-XXXXXX";
    if (!mkdtemp(tmpl))
        throw std::runtime_error("mkdtemp failed");
    path_ = tmpl;
    if (const char* prev = std::getenv("VELTRO_PORT_DIR")) {
        hadPrevious_ = true;
        previous_ = prev;
    }
    setenv("VELTRO_PORT_DIR", path_.c_str(), 1);
}

PortDir::~PortDir()
{
    if (hadPrevious_)
        setenv("VELTRO_PORT_DIR", previous_.c_str(), 1);
    else
        unsetenv("VELTRO_PORT_DIR");
    std::error_code ec;
    fs::remove_all(path_, ec);
}

void PortDir::Publish(int n, const std::string& device) const
{
    const fs::path link = fs::path(path_) / ("COM" + std::to_string(n));
    std::error_code ec;
    fs::remove(link, ec);
    fs::create_symlink(device, link);
}

void PortDir::Unpublish(int n) const
{
    std::error_code ec;
    fs::remove(fs::path(path_) / ("COM" + std::to_string(n)), ec);
}

PtyPair::PtyPair()
{
    char name[256] = {};
    struct termios raw {};
    cfmakeraw(&raw);
    if (openpty(&master_, &slaveKeeper_, name, &raw, nullptr) != 0)
        throw std::runtime_error(std::string("openpty failed: ") + std::strerror(errno));
    slavePath_ = name;
    fcntl(master_, F_SETFL, fcntl(master_, F_GETFL) | O_NONBLOCK);
    // The master side must not echo or translate either.
    struct termios t {};
    tcgetattr(master_, &t);
    cfmakeraw(&t);
    tcsetattr(master_, TCSANOW, &t);
}

PtyPair::~PtyPair()
{
    CloseSlaveKeeper();
    CloseMaster();
}

void PtyPair::CloseSlaveKeeper()
{
    if (slaveKeeper_ >= 0)
        ::close(slaveKeeper_);
    slaveKeeper_ = -1;
}

void PtyPair::CloseMaster()
{
    if (master_ >= 0)
        ::close(master_);
    master_ = -1;
}

void PtyPair::Send(const std::vector<uint8_t>& bytes) const
{
    size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(master_, bytes.data() + done, bytes.size() - done);
        if (n > 0) {
            done += static_cast<size_t>(n);
        } else if (n < 0 && (errno == EAGAIN || errno == EINTR)) {
            struct pollfd p {master_, POLLOUT, 0};
            ::poll(&p, 1, 100);
        } else {
            throw std::runtime_error("pty master write failed");
        }
    }
}

void PtyPair::Send(const std::string& bytes) const
{
    Send(std::vector<uint8_t>(bytes.begin(), bytes.end()));
}

namespace {
using Clock = std::chrono::steady_clock;

int MsLeft(Clock::time_point deadline)
{
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    return left > 0 ? static_cast<int>(left) : 0;
}
}  // namespace

std::vector<uint8_t> PtyPair::Receive(size_t count, std::chrono::milliseconds timeout) const
{
    std::vector<uint8_t> out;
    const auto deadline = Clock::now() + timeout;
    while (out.size() < count) {
        struct pollfd p {master_, POLLIN, 0};
        const int left = MsLeft(deadline);
        if (::poll(&p, 1, left) <= 0 || !(p.revents & POLLIN))
            break;
        uint8_t buf[512];
        const ssize_t n = ::read(master_, buf, std::min(sizeof buf, count - out.size()));
        if (n <= 0)
            break;
        out.insert(out.end(), buf, buf + n);
    }
    return out;
}

std::vector<uint8_t> PtyPair::ReceiveUntilQuiet(std::chrono::milliseconds quiet,
                                                std::chrono::milliseconds timeout) const
{
    std::vector<uint8_t> out;
    const auto deadline = Clock::now() + timeout;
    for (;;) {
        struct pollfd p {master_, POLLIN, 0};
        const int wait = std::min(static_cast<int>(quiet.count()), MsLeft(deadline));
        if (wait <= 0 || ::poll(&p, 1, wait) <= 0 || !(p.revents & POLLIN))
            break;
        uint8_t buf[512];
        const ssize_t n = ::read(master_, buf, sizeof buf);
        if (n <= 0)
            break;
        out.insert(out.end(), buf, buf + n);
    }
    return out;
}

std::string Hex(const std::vector<uint8_t>& bytes)
{
    static const char* digits = "0123456789ABCDEF";
    std::string s;
    for (uint8_t b : bytes) {
        s += digits[b >> 4];
        s += digits[b & 15];
    }
    return s;
}

std::vector<uint8_t> FromHex(const std::string& hex)
{
    std::vector<uint8_t> out;
    int nibble = -1;
    for (char c : hex) {
        int v;
        if (c >= '0' && c <= '9') v = c - '0';
        else if (c >= 'a' && c <= 'f') v = c - 'a' + 10;
        else if (c >= 'A' && c <= 'F') v = c - 'A' + 10;
        else continue;
        if (nibble < 0) {
            nibble = v;
        } else {
            out.push_back(static_cast<uint8_t>(nibble << 4 | v));
            nibble = -1;
        }
    }
    return out;
}

}  // namespace veltro::test
