#include "platform/SerialDevice.h"

#include "platform/ParityMarks.h"
#include "platform/PortNames.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <fcntl.h>
#include <iterator>
#include <linux/serial.h>
#include <mutex>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <thread>
#include <unistd.h>
#include <utility>
#include <vector>

namespace veltro::platform {

namespace {

using Clock = std::chrono::steady_clock;

// The kernel's termios2, for rates that have no Bxxx constant (14400, 56000, 128000,
// 256000). glibc's <termios.h> does not declare it and the kernel header clashes with
// glibc's, so the layout is restated here.
struct KernelTermios2 {
    tcflag_t c_iflag, c_oflag, c_cflag, c_lflag;
    cc_t c_line;
    cc_t c_cc[19];
    speed_t c_ispeed, c_ospeed;
};
constexpr unsigned long kTcGets2 = _IOR('T', 0x2A, KernelTermios2);
constexpr unsigned long kTcSets2 = _IOW('T', 0x2B, KernelTermios2);
constexpr tcflag_t kCbaud = 0010017;
constexpr tcflag_t kBother = 0010000;

speed_t StandardSpeed(uint32_t rate)
{
    switch (rate) {
    case 50: return B50;
    case 75: return B75;
    case 110: return B110;
    case 134: return B134;
    case 150: return B150;
    case 200: return B200;
    case 300: return B300;
    case 600: return B600;
    case 1200: return B1200;
    case 1800: return B1800;
    case 2400: return B2400;
    case 4800: return B4800;
    case 9600: return B9600;
    case 19200: return B19200;
    case 38400: return B38400;
    case 57600: return B57600;
    case 115200: return B115200;
    case 230400: return B230400;
    case 460800: return B460800;
    case 500000: return B500000;
    case 576000: return B576000;
    case 921600: return B921600;
    case 1000000: return B1000000;
    default: return B0;
    }
}

// Writes the settings with one termios2 call. tcsetattr() is not used: glibc reports
// EINVAL when the driver kept its data bits or parity, which a pty always does, so every
// reopen of a pty with parity would fail although the settings it can take were taken.
// termios2 also carries rates that have no Bxxx constant (14400, 56000, 128000, 256000).
bool ApplyTermios(int fd, const struct termios& t, uint32_t rate)
{
    KernelTermios2 t2 {};
    if (::ioctl(fd, kTcGets2, &t2) != 0)
        return false;
    t2.c_iflag = t.c_iflag;
    t2.c_oflag = t.c_oflag;
    t2.c_lflag = t.c_lflag;
    t2.c_line = t.c_line;
    std::copy_n(t.c_cc, std::size(t2.c_cc), t2.c_cc);
    const speed_t standard = StandardSpeed(rate);
    const tcflag_t speed = standard != B0 ? standard : kBother;
    // The input speed field (shifted by 16) is cleared: it then follows the output speed.
    t2.c_cflag = (t.c_cflag & ~(kCbaud | (kCbaud << 16))) | speed;
    t2.c_ispeed = rate;
    t2.c_ospeed = rate;
    return ::ioctl(fd, kTcSets2, &t2) == 0;
}

int MsLeft(Clock::time_point deadline)
{
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    return left > 0 ? static_cast<int>(left) : 0;
}

// A pty or a driver without modem lines answers these ioctls with ENOTTY or EINVAL;
// there is nothing to switch then, which is not a failure.
bool IsUnsupported(int err)
{
    return err == ENOTTY || err == EINVAL;
}

}  // namespace

struct PosixSerialDevice::Impl {
    int fd = -1;
    int wakeFd = -1;
    std::string identity;
    std::atomic<int> lastError{0};
    bool stripNul = false;
    bool icountKnown = false;
    std::atomic<bool> icountSupported{true};
    serial_icounter_struct icount{};
    bool lsrSupported = true;

    // Where the driver cannot count line errors, the kernel marks them in the input
    // (PARMRK); the input is then taken out of the kernel, decoded and served from here.
    // A port's event thread counts the input while the UI thread reads it: one lock.
    std::atomic<bool> marking{false};
    std::mutex markLock;
    std::vector<uint8_t> decoded;
    ParityMarkDecoder decoder;
    LineErrors marked;
    std::atomic<bool> lost{false};  // the far end hung up while input was being taken

    bool Fail(int err)
    {
        lastError = err;
        return false;
    }

    // Reads what the kernel holds, up to max, without blocking: the count, 0 when nothing
    // is queued, -1 on failure (a hang-up included).
    long ReadRaw(uint8_t* dst, size_t max)
    {
        for (;;) {
            const ssize_t n = ::read(fd, dst, max);
            if (n > 0)
                return n;
            if (n < 0 && errno == EINTR)
                continue;
            if (n == 0 || errno == EAGAIN || errno == EWOULDBLOCK) {
                // "Nothing queued" and "the far end is gone" look alike here; ask poll.
                struct pollfd p {fd, POLLIN, 0};
                if (::poll(&p, 1, 0) > 0 && (p.revents & (POLLHUP | POLLERR))) {
                    Fail(EIO);
                    return -1;
                }
                return 0;
            }
            Fail(errno);  // EIO: the far end hung up
            return -1;
        }
    }

    // Marking mode, under markLock: moves everything the kernel holds into decoded.
    void TakeMarkedInput()
    {
        uint8_t raw[512];
        for (;;) {
            const long n = ReadRaw(raw, sizeof raw);
            if (n < 0)
                lost = true;
            if (n <= 0)
                return;
            decoder.Decode(raw, static_cast<size_t>(n), decoded, marked);
        }
    }
};

std::unique_ptr<PosixSerialDevice> PosixSerialDevice::Open(const std::string& name, int& error)
{
    const ResolvedPort port = ResolvePort(name);
    const std::string& path = port.device;
    if (path.empty()) {
        error = ENOENT;
        return nullptr;
    }
    const int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        error = errno;
        return nullptr;
    }
    if (!::isatty(fd)) {
        ::close(fd);
        error = ENOTTY;
        return nullptr;
    }
    // Exclusive like a Windows COM port: a second open by another program fails with EBUSY.
    // The kernel's exclusive mode does not hold against root, so our own programs (the
    // window, the command line, a second window) also take an advisory lock, which does.
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0 && errno == EWOULDBLOCK) {
        ::close(fd);
        error = EBUSY;
        return nullptr;
    }
    ::ioctl(fd, TIOCEXCL);
    struct termios t {};
    if (::tcgetattr(fd, &t) == 0) {
        ::cfmakeraw(&t);
        t.c_cflag |= CLOCAL | CREAD;
        t.c_cc[VMIN] = 0;
        t.c_cc[VTIME] = 0;
        ::tcsetattr(fd, TCSANOW, &t);
    }
    auto impl = std::make_unique<Impl>();
    impl->fd = fd;
    impl->identity = port.identity;
    serial_icounter_struct probe {};
    // ptys and some USB drivers do not count line errors; those get them marked instead.
    impl->icountSupported = ::ioctl(fd, TIOCGICOUNT, &probe) == 0;
    impl->wakeFd = ::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
    error = 0;
    return std::unique_ptr<PosixSerialDevice>(new PosixSerialDevice(std::move(impl)));
}

PosixSerialDevice::PosixSerialDevice(std::unique_ptr<Impl> impl) : impl_(std::move(impl)) {}

PosixSerialDevice::~PosixSerialDevice()
{
    Close();
}

bool PosixSerialDevice::IsOpen() const { return impl_->fd >= 0; }
std::string PosixSerialDevice::Identity() const { return impl_->identity; }
int PosixSerialDevice::Fd() const { return impl_->fd; }
int PosixSerialDevice::LastError() const { return impl_->lastError; }

void PosixSerialDevice::Close()
{
    if (impl_->fd >= 0) {
        ::ioctl(impl_->fd, TIOCNXCL);
        ::close(impl_->fd);
        impl_->fd = -1;
    }
    if (impl_->wakeFd >= 0) {
        ::close(impl_->wakeFd);
        impl_->wakeFd = -1;
    }
}

bool PosixSerialDevice::Configure(const SerialSettings& s)
{
    if (!IsOpen())
        return impl_->Fail(EBADF);
    struct termios t {};
    if (::tcgetattr(impl_->fd, &t) != 0)
        return impl_->Fail(errno);
    ::cfmakeraw(&t);
    t.c_cflag |= CLOCAL | CREAD;
    t.c_cflag &= ~(CSIZE | PARENB | PARODD | CMSPAR | CSTOPB | CRTSCTS);
    switch (s.dataBits) {
    case 5: t.c_cflag |= CS5; break;
    case 6: t.c_cflag |= CS6; break;
    case 7: t.c_cflag |= CS7; break;
    case 8: t.c_cflag |= CS8; break;
    default: return impl_->Fail(EINVAL);
    }
    switch (s.parity) {
    case SerialParity::None: break;
    case SerialParity::Odd: t.c_cflag |= PARENB | PARODD; break;
    case SerialParity::Even: t.c_cflag |= PARENB; break;
    case SerialParity::Mark: t.c_cflag |= PARENB | CMSPAR | PARODD; break;
    case SerialParity::Space: t.c_cflag |= PARENB | CMSPAR; break;
    }
    if (s.stopBits != SerialStopBits::One)
        t.c_cflag |= CSTOPB;  // Linux has no 1.5 stop bits; 2 is the nearest
    t.c_iflag &= ~(INPCK | IGNPAR | PARMRK | ISTRIP | IXON | IXOFF | IXANY);
    // A driver that counts line errors reports them through TakeLineErrors; one that
    // cannot would let a damaged character pass unnoticed, so the kernel marks it in the
    // input instead (framing errors and breaks as well, with or without a parity bit).
    const bool marking = s.checkParity && !impl_->icountSupported;
    if (marking)
        t.c_iflag |= INPCK | PARMRK;
    else if (s.checkParity && s.parity != SerialParity::None)
        t.c_iflag |= INPCK;
    else
        t.c_iflag |= IGNPAR;
    if (s.flow == SerialFlow::RtsCts)
        t.c_cflag |= CRTSCTS;
    if (s.flow == SerialFlow::XonXoff) {
        t.c_iflag |= IXON | IXOFF;
        t.c_cc[VSTART] = s.xonChar;
        t.c_cc[VSTOP] = s.xoffChar;
    }
    // Linux has no DSR/DTR output handshake; DtrDsr keeps DTR raised and no handshake.
    t.c_cc[VMIN] = 0;
    t.c_cc[VTIME] = 0;

    if (!ApplyTermios(impl_->fd, t, s.baudRate))
        return impl_->Fail(errno);
    impl_->stripNul = s.stripNul;
    if (marking != impl_->marking) {
        std::lock_guard lock(impl_->markLock);
        impl_->decoder.Reset();
        impl_->marking = marking;
    }
    return true;
}

int PosixSerialDevice::InQueue()
{
    int n = 0;
    if (IsOpen()) {
        // A pty hands bytes to the reading side from a kernel worker; poll waits for that
        // hand-off, so the count below includes bytes the far end has already written.
        struct pollfd p {impl_->fd, POLLIN, 0};
        ::poll(&p, 1, 0);
        if (impl_->marking) {
            std::lock_guard lock(impl_->markLock);
            impl_->TakeMarkedInput();
            if (impl_->decoded.empty() && impl_->lost) {
                impl_->Fail(EIO);
                return -1;
            }
            return static_cast<int>(impl_->decoded.size());
        }
    }
    if (!IsOpen() || ::ioctl(impl_->fd, FIONREAD, &n) != 0) {
        impl_->Fail(IsOpen() ? errno : EBADF);
        return -1;
    }
    return n;
}

int PosixSerialDevice::OutQueue()
{
    int n = 0;
    if (!IsOpen() || ::ioctl(impl_->fd, TIOCOUTQ, &n) != 0) {
        impl_->Fail(IsOpen() ? errno : EBADF);
        return -1;
    }
    return n;
}

bool PosixSerialDevice::Purge(bool input, bool output)
{
    if (!IsOpen())
        return impl_->Fail(EBADF);
    if (!input && !output)
        return true;
    const int which = input && output ? TCIOFLUSH : (input ? TCIFLUSH : TCOFLUSH);
    if (input) {
        std::lock_guard lock(impl_->markLock);
        impl_->decoded.clear();
        impl_->decoder.Reset();
    }
    return ::tcflush(impl_->fd, which) == 0 || impl_->Fail(errno);
}

long PosixSerialDevice::Read(uint8_t* dst, size_t max)
{
    if (!IsOpen()) {
        impl_->Fail(EBADF);
        return -1;
    }
    if (max == 0)
        return 0;
    long n = 0;
    if (impl_->marking) {
        std::lock_guard lock(impl_->markLock);
        impl_->TakeMarkedInput();
        std::vector<uint8_t>& decoded = impl_->decoded;
        if (decoded.empty() && impl_->lost) {
            impl_->Fail(EIO);
            return -1;
        }
        n = static_cast<long>(std::min(max, decoded.size()));
        std::copy_n(decoded.begin(), n, dst);
        decoded.erase(decoded.begin(), decoded.begin() + n);
    } else {
        n = impl_->ReadRaw(dst, max);
    }
    if (n <= 0 || !impl_->stripNul)
        return n;
    long kept = 0;
    for (long i = 0; i < n; ++i)
        if (dst[i] != 0)
            dst[kept++] = dst[i];
    return kept;
}

long PosixSerialDevice::Write(const uint8_t* src, size_t count, std::chrono::milliseconds timeout)
{
    if (!IsOpen()) {
        impl_->Fail(EBADF);
        return -1;
    }
    const auto deadline = Clock::now() + timeout;
    size_t done = 0;
    while (done < count) {
        const ssize_t n = ::write(impl_->fd, src + done, count - done);
        if (n > 0) {
            done += static_cast<size_t>(n);
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK) {
            impl_->Fail(errno);
            return -1;
        }
        const int left = MsLeft(deadline);
        if (left == 0)
            break;
        struct pollfd p {impl_->fd, POLLOUT, 0};
        if (::poll(&p, 1, left) < 0 && errno != EINTR) {
            impl_->Fail(errno);
            return -1;
        }
        if (p.revents & (POLLHUP | POLLERR)) {
            impl_->Fail(EIO);
            return -1;
        }
    }
    return static_cast<long>(done);
}

WaitResult PosixSerialDevice::WaitReadable(std::chrono::milliseconds timeout)
{
    if (!IsOpen()) {
        impl_->Fail(EBADF);
        return WaitResult::Error;
    }
    const bool infinite = timeout.count() < 0;
    const auto deadline = Clock::now() + (infinite ? std::chrono::milliseconds(0) : timeout);
    for (;;) {
        if (impl_->marking) {
            std::lock_guard lock(impl_->markLock);
            if (!impl_->decoded.empty())
                return WaitResult::Ready;
        }
        struct pollfd p[2] = {{impl_->fd, POLLIN, 0}, {impl_->wakeFd, POLLIN, 0}};
        const int rc = ::poll(p, impl_->wakeFd >= 0 ? 2 : 1, infinite ? -1 : MsLeft(deadline));
        if (rc < 0) {
            if (errno == EINTR)
                continue;
            impl_->Fail(errno);
            return WaitResult::Error;
        }
        if (rc == 0)
            return WaitResult::Timeout;
        if (p[1].revents & POLLIN) {
            uint64_t v;
            [[maybe_unused]] ssize_t r = ::read(impl_->wakeFd, &v, sizeof v);
            return WaitResult::Interrupted;
        }
        // After a hang-up a pty reports POLLIN as well, with nothing left to read.
        const bool hungUp = p[0].revents & (POLLHUP | POLLERR | POLLNVAL);
        // Marked input may have been only (part of) a mark: ready once a byte came of it.
        if ((p[0].revents & POLLIN) && !((hungUp || impl_->marking) && InQueue() <= 0))
            return WaitResult::Ready;
        if (hungUp || (impl_->marking && impl_->lost)) {
            impl_->Fail(EIO);
            return WaitResult::HangUp;
        }
        if (!infinite && MsLeft(deadline) == 0)
            return WaitResult::Timeout;
    }
}

void PosixSerialDevice::Interrupt()
{
    if (impl_->wakeFd >= 0) {
        const uint64_t one = 1;
        [[maybe_unused]] ssize_t r = ::write(impl_->wakeFd, &one, sizeof one);
    }
}

bool PosixSerialDevice::Drain(std::chrono::milliseconds timeout)
{
    // tcdrain() has no time limit and never returns on a line whose far end stopped
    // taking data; the output queue is watched instead, and then the transmitter itself
    // where the driver tells its state: the queue empties when the last character enters
    // the UART, which still has to shift it out.
    const auto deadline = Clock::now() + timeout;
    for (;;) {
        const int queued = OutQueue();
        if (queued < 0)
            return false;
        if (queued == 0 && TransmitterEmpty())
            return true;
        if (Clock::now() >= deadline)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
}

bool PosixSerialDevice::TransmitterEmpty()
{
    if (!impl_->lsrSupported)
        return true;
    unsigned int lsr = 0;
    if (::ioctl(impl_->fd, TIOCSERGETLSR, &lsr) != 0) {
        // A pty and many USB drivers do not report it; their queue count is all there is.
        impl_->lsrSupported = false;
        return true;
    }
    return (lsr & TIOCSER_TEMT) != 0;
}

static bool SetModemLine(PosixSerialDevice::Impl& impl, int line, bool on)
{
    if (impl.fd < 0)
        return impl.Fail(EBADF);
    if (::ioctl(impl.fd, on ? TIOCMBIS : TIOCMBIC, &line) == 0 || IsUnsupported(errno))
        return true;
    return impl.Fail(errno);
}

bool PosixSerialDevice::SetRts(bool on) { return SetModemLine(*impl_, TIOCM_RTS, on); }
bool PosixSerialDevice::SetDtr(bool on) { return SetModemLine(*impl_, TIOCM_DTR, on); }

bool PosixSerialDevice::SetRs485(bool enable)
{
    if (!IsOpen())
        return impl_->Fail(EBADF);
    struct serial_rs485 rs {};
    if (enable)
        rs.flags = SER_RS485_ENABLED | SER_RS485_RTS_ON_SEND;
    if (::ioctl(impl_->fd, TIOCSRS485, &rs) == 0)
        return true;
    return impl_->Fail(errno);
}

LineErrors PosixSerialDevice::TakeLineErrors()
{
    LineErrors out;
    if (!IsOpen())
        return out;
    if (impl_->marking) {
        std::lock_guard lock(impl_->markLock);
        out = std::exchange(impl_->marked, LineErrors{});
    }
    if (!impl_->icountSupported)
        return out;
    serial_icounter_struct now {};
    if (::ioctl(impl_->fd, TIOCGICOUNT, &now) != 0) {
        impl_->icountSupported = false;  // ptys and some drivers do not count errors
        return out;
    }
    if (impl_->icountKnown) {
        out.parity += static_cast<uint32_t>(now.parity - impl_->icount.parity);
        out.framing += static_cast<uint32_t>(now.frame - impl_->icount.frame);
        out.overrun += static_cast<uint32_t>((now.overrun - impl_->icount.overrun)
                                             + (now.buf_overrun - impl_->icount.buf_overrun));
        out.breaks += static_cast<uint32_t>(now.brk - impl_->icount.brk);
    }
    impl_->icount = now;
    impl_->icountKnown = true;
    return out;
}

}  // namespace veltro::platform
