#include "simulator/SimPort.h"

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <ctime>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <poll.h>
#include <pty.h>
#include <stdexcept>
#include <termios.h>
#include <unistd.h>
#include <utility>

namespace veltro::sim {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

namespace {

// While no slave descriptor is open the master keeps reporting POLLHUP, so a client
// coming back can only be noticed by looking again; this is how often.
constexpr std::chrono::milliseconds kClientCheckPeriod{10};

int MsUntil(Clock::time_point deadline)
{
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    return left > 0 ? static_cast<int>(left) : 0;
}

// The rates a line of the simulator runs at, with their termios codes.
constexpr std::pair<uint32_t, speed_t> kSpeeds[] = {{300, B300},     {600, B600},     {1200, B1200},
                                                    {2400, B2400},   {4800, B4800},   {9600, B9600},
                                                    {19200, B19200}, {38400, B38400}, {57600, B57600},
                                                    {115200, B115200}};

std::runtime_error SystemError(const std::string& what)
{
    return std::runtime_error(what + ": " + std::strerror(errno));
}

}  // namespace

std::chrono::nanoseconds LineFormat::CharacterTime() const
{
    // Whole nanoseconds are exact enough: at 921600 bit/s a character lasts 10850 ns,
    // and the rounding of a few hundred characters stays below a microsecond.
    const uint64_t bits = static_cast<uint64_t>(BitsPerCharacter());
    return std::chrono::nanoseconds(bitRate == 0 ? 0 : static_cast<int64_t>(bits * 1'000'000'000ull / bitRate));
}

size_t PacingSchedule::CompleteBy(Clock::time_point now) const
{
    if (now < start_ + characterTime_)
        return 0;
    if (characterTime_.count() <= 0)
        return SIZE_MAX;
    return static_cast<size_t>((now - start_) / characterTime_);
}

void SimPort::OpenPseudoTerminal()
{
    char name[256] = {};
    int slave = -1;
    struct termios raw {};
    ::cfmakeraw(&raw);
    // Raw on both sides: the device must neither echo the client's bytes nor translate
    // CR and LF, which carry meaning in the protocols spoken here.
    if (::openpty(&master_, &slave, name, &raw, nullptr) != 0)
        throw SystemError("openpty");
    slavePath_ = name;
    struct termios t {};
    ::tcgetattr(master_, &t);
    ::cfmakeraw(&t);
    ::tcsetattr(master_, TCSANOW, &t);
    ::fcntl(master_, F_SETFL, ::fcntl(master_, F_GETFL) | O_NONBLOCK);
    ::fcntl(master_, F_SETFD, FD_CLOEXEC);
    ::close(slave);  // the client's open is the only one, so its close is seen
}

void SimPort::OpenDevice(const std::string& device)
{
    master_ = ::open(device.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (master_ < 0)
        throw SystemError("open " + device);
    if (!::isatty(master_)) {
        ::close(master_);
        throw std::runtime_error(device + " is not a serial device");
    }
    slavePath_ = device;
    realDevice_ = true;
    clientPresent_ = true;  // a cable has no open or close to watch; the master is assumed there
    ApplyFormatToDevice(format_);
}

// Raw mode at the line's rate and character format, modem lines ignored (CLOCAL).
void SimPort::ApplyFormatToDevice(const LineFormat& f)
{
    struct termios t {};
    if (::tcgetattr(master_, &t) != 0)
        return;
    ::cfmakeraw(&t);
    t.c_cflag |= CLOCAL | CREAD;
    t.c_cflag &= ~(CSIZE | PARENB | PARODD | CSTOPB | CRTSCTS);
    t.c_cflag |= f.dataBits == 7 ? CS7 : CS8;
    if (f.parity != 'N')
        t.c_cflag |= PARENB | (f.parity == 'O' ? PARODD : 0);
    if (f.stopBits == 2)
        t.c_cflag |= CSTOPB;
    t.c_cc[VMIN] = 0;
    t.c_cc[VTIME] = 0;
    speed_t speed = B9600;
    for (const auto& [rate, code] : kSpeeds)
        if (rate == f.bitRate)
            speed = code;
    ::cfsetspeed(&t, speed);
    ::tcsetattr(master_, TCSANOW, &t);
}

std::optional<LineFormat> SimPort::ClientFormat() const
{
    // A pseudo-terminal's master reads the settings of its slave side, which are the
    // client's. The kernel keeps the rate, PARODD and CSTOPB there, but forces 8 data bits
    // and clears PARENB, and a client may ask for parity checking (INPCK) to have framing
    // errors marked whatever its parity: odd parity is seen, even parity is not told
    // from none.
    if (realDevice_)
        return std::nullopt;
    struct termios t {};
    if (::tcgetattr(master_, &t) != 0)
        return std::nullopt;
    const speed_t speed = ::cfgetospeed(&t);
    for (const auto& [rate, code] : kSpeeds)
        if (code == speed)
            return LineFormat{rate, 8, (t.c_cflag & PARODD) != 0 ? 'O' : 'N', (t.c_cflag & CSTOPB) != 0 ? 2 : 1};
    return std::nullopt;
}

SimPort::SimPort(const std::string& portDir, int comNumber, const std::string& device) : comNumber_(comNumber)
{
    if (device.empty())
        OpenPseudoTerminal();
    else
        OpenDevice(device);

    if (::pipe2(wake_, O_NONBLOCK | O_CLOEXEC) != 0) {
        ::close(master_);
        throw SystemError("pipe2");
    }
    if (::pipe2(interrupt_, O_NONBLOCK | O_CLOEXEC) != 0) {
        ::close(master_);
        ::close(wake_[0]);
        ::close(wake_[1]);
        throw SystemError("pipe2");
    }

    if (realDevice_)
        return;
    // Published by renaming a fresh symlink over the entry, so a client looking the
    // port up never finds it missing, and a stale entry of an earlier run is replaced.
    const fs::path entry = fs::path(portDir) / ("COM" + std::to_string(comNumber));
    const fs::path staging = fs::path(portDir) / (".COM" + std::to_string(comNumber) + "." +
                                                  std::to_string(::getpid()));
    std::error_code ec;
    fs::remove(staging, ec);
    fs::create_symlink(slavePath_, staging, ec);
    if (!ec)
        fs::rename(staging, entry, ec);
    if (ec) {
        fs::remove(staging, ec);
        ::close(master_);
        ::close(wake_[0]);
        ::close(wake_[1]);
        ::close(interrupt_[0]);
        ::close(interrupt_[1]);
        throw std::runtime_error("cannot publish " + entry.string() + ": " + ec.message());
    }
    publishedPath_ = entry.string();
}

SimPort::~SimPort()
{
    // Remove the entry only if it is still ours; another simulator may have taken it over.
    std::error_code ec;
    if (!publishedPath_.empty() && fs::read_symlink(publishedPath_, ec) == fs::path(slavePath_) && !ec)
        fs::remove(publishedPath_, ec);
    ::close(master_);
    ::close(wake_[0]);
    ::close(wake_[1]);
    ::close(interrupt_[0]);
    ::close(interrupt_[1]);
}

void SimPort::Stop()
{
    // The pipe is never drained: every later poll sees it readable and returns at once.
    if (!stopped_.exchange(true)) {
        const char byte = 1;
        [[maybe_unused]] const ssize_t n = ::write(wake_[1], &byte, 1);
    }
}

void SimPort::SetLineFormat(const LineFormat& format)
{
    std::lock_guard lock(formatLock_);
    format_ = format;
    if (realDevice_)
        ApplyFormatToDevice(format);
}

LineFormat SimPort::Format() const
{
    std::lock_guard lock(formatLock_);
    return format_;
}

void SimPort::NoteHeard(size_t count)
{
    if (!pacing_.load())
        return;
    // Bytes read together may have been sent one after another, and the client wrote
    // them when it began sending: the last one crosses the line count characters after
    // the first could have started, and no earlier than the line was free again.
    const auto now = Clock::now();
    lineBusyUntil_ = std::max(lineBusyUntil_, now) + Format().CharacterTime() * static_cast<int64_t>(count);
}

bool SimPort::WaitUntil(Clock::time_point when)
{
    for (;;) {
        if (stopped_.load())
            return false;
        const auto left = when - Clock::now();
        if (left <= Clock::duration::zero())
            return true;
        // Nanosecond time-outs: a character at 9600 bit/s lasts about a millisecond,
        // which poll()'s millisecond steps would round away.
        const auto ns = std::chrono::duration_cast<std::chrono::nanoseconds>(left).count();
        struct timespec ts {static_cast<time_t>(ns / 1'000'000'000), static_cast<long>(ns % 1'000'000'000)};
        struct pollfd p {wake_[0], POLLIN, 0};
        ::ppoll(&p, 1, &ts, nullptr);
    }
}

void SimPort::Interrupt()
{
    // A full pipe already holds a pending interrupt; one more byte would change nothing.
    const char byte = 1;
    [[maybe_unused]] const ssize_t n = ::write(interrupt_[1], &byte, 1);
}

void SimPort::NoteClient(bool present)
{
    if (clientPresent_.exchange(present) == present)
        return;
    if (present) {
        ++opens_;
    } else {
        ++hangUps_;
        // Whatever was queued for or from the client that left must not reach or be
        // taken for the next one. Flushed here, not when the next one appears: by then
        // its first bytes may already be queued.
        ::tcflush(master_, TCIOFLUSH);
    }
}

int SimPort::PollMaster(short events, std::chrono::milliseconds timeout)
{
    struct pollfd p[3] = {{master_, events, 0}, {wake_[0], POLLIN, 0}, {interrupt_[0], POLLIN, 0}};
    int rc;
    do {
        rc = ::poll(p, 3, static_cast<int>(timeout.count()));
    } while (rc < 0 && errno == EINTR);
    if (stopped_.load() || (p[1].revents & POLLIN))
        return -1;
    if (p[2].revents & POLLIN) {
        char drain[16];
        while (::read(interrupt_[0], drain, sizeof drain) > 0) {
        }
        return -2;
    }
    return rc > 0 ? p[0].revents : 0;
}

bool SimPort::Pause(std::chrono::milliseconds time)
{
    const auto deadline = Clock::now() + time;
    while (!stopped_.load()) {
        const int left = MsUntil(deadline);
        if (left <= 0)
            return true;
        struct pollfd p {wake_[0], POLLIN, 0};
        ::poll(&p, 1, left);
    }
    return false;
}

SimPort::ReadResult SimPort::Read(std::vector<uint8_t>& out, std::chrono::milliseconds timeout)
{
    const auto deadline = Clock::now() + timeout;
    for (;;) {
        const int left = MsUntil(deadline);
        const int check = clientPresent_.load() ? left : 0;
        const int revents = PollMaster(POLLIN, std::chrono::milliseconds(check));
        if (revents == -2)
            return ReadResult::Interrupted;
        if (revents < 0)
            return ReadResult::Stopped;
        if (revents & POLLIN) {
            uint8_t buf[512];
            const ssize_t n = ::read(master_, buf, sizeof buf);
            if (n > 0) {
                NoteClient(true);
                bytesHeard_ += static_cast<uint64_t>(n);
                NoteHeard(static_cast<size_t>(n));
                out.insert(out.end(), buf, buf + n);
                return ReadResult::Data;
            }
            if (n < 0 && errno != EAGAIN && errno != EINTR)
                NoteClient(false);  // EIO: the last slave descriptor was closed
            continue;
        }
        if (revents & (POLLHUP | POLLERR)) {
            NoteClient(false);
            if (left <= 0)
                return ReadResult::NoClient;
            if (!Pause(std::min(kClientCheckPeriod, std::chrono::milliseconds(left))))
                return ReadResult::Stopped;
            continue;
        }
        // Neither data nor a hang-up: a client has the port open.
        const bool wasPresent = clientPresent_.load();
        NoteClient(true);
        if (wasPresent || left <= 0)
            return ReadResult::Timeout;
    }
}

bool SimPort::Write(const std::string& bytes)
{
    if (pacing_.load())
        return WritePaced(bytes);
    return WriteNow(bytes.data(), bytes.size());
}

bool SimPort::WritePaced(const std::string& bytes)
{
    // A device answers once it has heard the whole request, and a second reply waits
    // for the line to finish the first.
    const PacingSchedule schedule(std::max(Clock::now(), lineBusyUntil_), Format().CharacterTime());
    size_t done = 0;
    while (done < bytes.size()) {
        if (!WaitUntil(schedule.Due(done)))
            return false;
        const size_t due = std::min(bytes.size(), schedule.CompleteBy(Clock::now()));
        if (!WriteNow(bytes.data() + done, due - done))
            return false;
        done = due;
    }
    lineBusyUntil_ = schedule.End(bytes.size());
    return true;
}

bool SimPort::WriteNow(const char* bytes, size_t count)
{
    size_t done = 0;
    while (done < count) {
        if (stopped_.load() || !clientPresent_.load())
            return false;
        const ssize_t n = ::write(master_, bytes + done, count - done);
        if (n > 0) {
            done += static_cast<size_t>(n);
            bytesSent_ += static_cast<uint64_t>(n);
        } else if (n < 0 && (errno == EAGAIN || errno == EINTR)) {
            // The client is not reading and the pty buffer is full; wait for room.
            const int revents = PollMaster(POLLOUT, std::chrono::milliseconds(100));
            if (revents == -2)
                continue;  // meant for a read; the write goes on
            if (revents < 0)
                return false;
            if (revents & (POLLHUP | POLLERR))
                NoteClient(false);
        } else {
            NoteClient(false);
            return false;
        }
    }
    return true;
}

}  // namespace veltro::sim
