#include "platform/TcpSocket.h"

#include <cerrno>
#include <charconv>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>

namespace veltro::platform {

namespace {

using Clock = std::chrono::steady_clock;

// A gateway on a cable that was pulled answers nothing and sends no reset: the kernel's
// keep-alive finds that out within about 13 s (10 s idle, then three probes a second apart)
// instead of the two hours of its defaults.
constexpr int kKeepIdleSeconds = 10;
constexpr int kKeepIntervalSeconds = 1;
constexpr int kKeepProbes = 3;

enum class Waited { Ready, Timeout, Interrupted, Failed };

void CloseFd(int& fd)
{
    if (fd >= 0)
        ::close(fd);
    fd = -1;
}

void TuneConnection(int fd)
{
    const int on = 1;
    // A Modbus frame is small and waited for: send it at once, never held for more.
    ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
    ::setsockopt(fd, SOL_SOCKET, SO_KEEPALIVE, &on, sizeof on);
    ::setsockopt(fd, IPPROTO_TCP, TCP_KEEPIDLE, &kKeepIdleSeconds, sizeof kKeepIdleSeconds);
    ::setsockopt(fd, IPPROTO_TCP, TCP_KEEPINTVL, &kKeepIntervalSeconds, sizeof kKeepIntervalSeconds);
    ::setsockopt(fd, IPPROTO_TCP, TCP_KEEPCNT, &kKeepProbes, sizeof kKeepProbes);
}

struct AddressList {
    addrinfo* list = nullptr;
    ~AddressList()
    {
        if (list)
            ::freeaddrinfo(list);
    }
};

int Resolve(const TcpEndpoint& endpoint, bool passive, AddressList& out)
{
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_flags = AI_NUMERICSERV | (passive ? AI_PASSIVE : 0);
    const std::string port = std::to_string(endpoint.port);
    const int rc = ::getaddrinfo(endpoint.host.empty() ? nullptr : endpoint.host.c_str(), port.c_str(), &hints, &out.list);
    if (rc == 0)
        return 0;
    return rc == EAI_SYSTEM ? errno : EHOSTUNREACH;
}

}  // namespace

std::optional<TcpEndpoint> TcpEndpoint::Parse(std::string_view text)
{
    if (text.empty() || text.find_first_of(" \t") != std::string_view::npos)
        return std::nullopt;
    TcpEndpoint e;
    const size_t colon = text.rfind(':');
    // A bare IPv6 address has colons of its own: only "[addr]:port" carries a port then.
    const bool bracketed = text.front() == '[';
    if (colon == std::string_view::npos || (!bracketed && text.find(':') != colon)) {
        e.host = std::string(text);
    } else {
        const std::string_view port = text.substr(colon + 1);
        unsigned value = 0;
        const auto [end, ec] = std::from_chars(port.data(), port.data() + port.size(), value);
        if (ec != std::errc() || end != port.data() + port.size() || value > 65535)
            return std::nullopt;
        e.port = static_cast<uint16_t>(value);
        e.host = std::string(text.substr(0, colon));
    }
    if (e.host.size() >= 2 && e.host.front() == '[' && e.host.back() == ']')
        e.host = e.host.substr(1, e.host.size() - 2);
    if (e.host.empty())
        return std::nullopt;
    return e;
}

std::string TcpEndpoint::Text() const
{
    const bool v6 = host.find(':') != std::string::npos;
    return (v6 ? "[" + host + "]" : host) + ":" + std::to_string(port);
}

struct TcpSocketDevice::Impl {
    TcpEndpoint endpoint;
    bool server = false;
    bool open = true;
    int fd = -1;        // the connection: a client's own, or the client a server serves now
    int listenFd = -1;  // server only
    int wakeFd = -1;
    bool connecting = false;
    std::atomic<bool> reached{false};  // a client's connection came up
    bool failed = false;  // the connection is gone (refused, reset, closed by the peer)
    Clock::time_point connectDeadline;
    std::atomic<int> lastError{0};

    ~Impl()
    {
        CloseFd(fd);
        CloseFd(listenFd);
        CloseFd(wakeFd);
    }

    void Fail(int error)
    {
        lastError = error;
        failed = true;
    }

    bool TakeWake()
    {
        uint64_t v = 0;
        return ::read(wakeFd, &v, sizeof v) == static_cast<ssize_t>(sizeof v);
    }

    // Waits for events on fd, or for a wake-up; deadline max() waits without limit.
    Waited Poll(int on, short events, Clock::time_point deadline)
    {
        for (;;) {
            int ms = -1;
            if (deadline != Clock::time_point::max()) {
                const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now()).count();
                ms = left > 0 ? static_cast<int>(left) : 0;
            }
            pollfd p[2] = {{wakeFd, POLLIN, 0}, {on, events, 0}};
            const int rc = ::poll(p, 2, ms);
            if (rc < 0) {
                if (errno == EINTR)
                    continue;
                lastError = errno;
                return Waited::Failed;
            }
            if (p[0].revents & POLLIN) {
                TakeWake();
                return Waited::Interrupted;
            }
            if (rc == 0)
                return Waited::Timeout;
            return Waited::Ready;
        }
    }

    // A client's connection attempt finished by deadline: Ready once it is up.
    Waited Connected(Clock::time_point deadline)
    {
        if (failed)
            return Waited::Failed;
        if (!connecting)
            return Waited::Ready;
        const bool connectLimit = connectDeadline <= deadline;
        const Waited w = Poll(fd, POLLOUT, std::min(deadline, connectDeadline));
        if (w == Waited::Timeout && connectLimit) {
            Fail(ETIMEDOUT);
            return Waited::Failed;
        }
        if (w != Waited::Ready)
            return w;
        int error = 0;
        socklen_t size = sizeof error;
        if (::getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &size) != 0)
            error = errno;
        if (error != 0) {
            Fail(error);
            return Waited::Failed;
        }
        connecting = false;
        reached = true;
        return Waited::Ready;
    }

    // A server: takes the next client when none is being served.
    Waited Accepted(Clock::time_point deadline)
    {
        while (fd < 0) {
            const Waited w = Poll(listenFd, POLLIN, deadline);
            if (w != Waited::Ready)
                return w;
            fd = ::accept4(listenFd, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
            if (fd >= 0)
                TuneConnection(fd);
        }
        return Waited::Ready;
    }

    // The peer closed its side: a client's line is lost, a server waits for the next client.
    void PeerClosed(int error)
    {
        if (server)
            CloseFd(fd);
        else
            Fail(error);
    }
};

TcpSocketDevice::TcpSocketDevice(std::unique_ptr<Impl> impl) : impl_(std::move(impl)) {}

TcpSocketDevice::~TcpSocketDevice() = default;

std::unique_ptr<TcpSocketDevice> TcpSocketDevice::Connect(const TcpEndpoint& endpoint,
                                                          std::chrono::milliseconds connectTimeout, int& error)
{
    AddressList addresses;
    if ((error = Resolve(endpoint, false, addresses)) != 0)
        return nullptr;
    auto impl = std::make_unique<Impl>();
    impl->endpoint = endpoint;
    impl->wakeFd = ::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
    const addrinfo* a = addresses.list;
    impl->fd = ::socket(a->ai_family, a->ai_socktype | SOCK_NONBLOCK | SOCK_CLOEXEC, a->ai_protocol);
    if (impl->fd < 0 || impl->wakeFd < 0) {
        error = errno;
        return nullptr;
    }
    TuneConnection(impl->fd);
    impl->connectDeadline = Clock::now() + connectTimeout;
    if (::connect(impl->fd, a->ai_addr, a->ai_addrlen) == 0)
        impl->reached = true;
    else if (errno == EINPROGRESS)
        impl->connecting = true;
    else
        impl->Fail(errno);  // shown at the first use, like a refusal that takes a moment
    error = 0;
    return std::unique_ptr<TcpSocketDevice>(new TcpSocketDevice(std::move(impl)));
}

std::unique_ptr<TcpSocketDevice> TcpSocketDevice::Listen(const TcpEndpoint& endpoint, int& error)
{
    AddressList addresses;
    if ((error = Resolve(endpoint, true, addresses)) != 0)
        return nullptr;
    auto impl = std::make_unique<Impl>();
    impl->endpoint = endpoint;
    impl->server = true;
    impl->wakeFd = ::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
    const addrinfo* a = addresses.list;
    impl->listenFd = ::socket(a->ai_family, a->ai_socktype | SOCK_NONBLOCK | SOCK_CLOEXEC, a->ai_protocol);
    const int on = 1;
    if (impl->listenFd < 0 || impl->wakeFd < 0
        || ::setsockopt(impl->listenFd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on) != 0
        || ::bind(impl->listenFd, a->ai_addr, a->ai_addrlen) != 0 || ::listen(impl->listenFd, 4) != 0) {
        error = errno;
        return nullptr;
    }
    error = 0;
    return std::unique_ptr<TcpSocketDevice>(new TcpSocketDevice(std::move(impl)));
}

bool TcpSocketDevice::IsOpen() const
{
    return impl_->open;
}

void TcpSocketDevice::Close()
{
    impl_->open = false;
    CloseFd(impl_->fd);
    CloseFd(impl_->listenFd);
}

int TcpSocketDevice::LastError() const
{
    return impl_->lastError;
}

int TcpSocketDevice::InQueue()
{
    if (!impl_->open)
        return -1;
    if (impl_->fd < 0 || impl_->connecting || impl_->failed)
        return 0;
    int queued = 0;
    return ::ioctl(impl_->fd, FIONREAD, &queued) == 0 ? queued : 0;
}

bool TcpSocketDevice::Purge(bool input, bool)
{
    if (!input || impl_->fd < 0 || impl_->connecting || impl_->failed)
        return true;
    uint8_t scrap[512];
    while (::recv(impl_->fd, scrap, sizeof scrap, MSG_DONTWAIT) > 0) {
    }
    return true;
}

long TcpSocketDevice::Read(uint8_t* dst, size_t max)
{
    Impl& s = *impl_;
    if (!s.open || s.failed)
        return -1;
    if (s.fd < 0 || s.connecting || max == 0)
        return 0;
    for (;;) {
        const ssize_t n = ::recv(s.fd, dst, max, MSG_DONTWAIT);
        if (n > 0)
            return n;
        if (n == 0) {
            s.PeerClosed(ECONNRESET);
            return s.server ? 0 : -1;
        }
        if (errno == EINTR)
            continue;
        if (errno == EAGAIN || errno == EWOULDBLOCK)
            return 0;
        s.PeerClosed(errno);
        return s.server ? 0 : -1;
    }
}

long TcpSocketDevice::Write(const uint8_t* src, size_t count, std::chrono::milliseconds timeout)
{
    Impl& s = *impl_;
    if (!s.open)
        return -1;
    const auto deadline = Clock::now() + timeout;
    if (s.server) {
        // Nobody connected: an answer on a bus nobody listens to goes unheard, no failure.
        if (s.fd < 0)
            return static_cast<long>(count);
    } else {
        const Waited w = s.Connected(deadline);
        if (w == Waited::Failed)
            return -1;
        if (w != Waited::Ready)
            return 0;
    }
    size_t done = 0;
    while (done < count) {
        const ssize_t n = ::send(s.fd, src + done, count - done, MSG_DONTWAIT | MSG_NOSIGNAL);
        if (n > 0) {
            done += static_cast<size_t>(n);
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK) {
            s.PeerClosed(errno);
            return s.server ? static_cast<long>(count) : -1;
        }
        if (s.Poll(s.fd, POLLOUT, deadline) != Waited::Ready)
            break;
    }
    return static_cast<long>(done);
}

WaitResult TcpSocketDevice::WaitReadable(std::chrono::milliseconds timeout)
{
    Impl& s = *impl_;
    if (!s.open) {
        s.lastError = EBADF;
        return WaitResult::Error;
    }
    const auto deadline = timeout.count() < 0 ? Clock::time_point::max() : Clock::now() + timeout;
    for (;;) {
        const Waited up = s.server ? s.Accepted(deadline) : s.Connected(deadline);
        if (up == Waited::Interrupted)
            return WaitResult::Interrupted;
        if (up == Waited::Timeout)
            return WaitResult::Timeout;
        if (up == Waited::Failed) {
            // A wake-up is reported before a lost connection: closing must never wait on it.
            return s.TakeWake() ? WaitResult::Interrupted : WaitResult::HangUp;
        }
        const Waited w = s.Poll(s.fd, POLLIN, deadline);
        if (w == Waited::Interrupted)
            return WaitResult::Interrupted;
        if (w == Waited::Timeout)
            return WaitResult::Timeout;
        if (w == Waited::Failed)
            return WaitResult::Error;
        if (!s.server)
            return WaitResult::Ready;  // a close by the peer shows in the read that follows
        // A server looks at once, so a client that went makes room for the next.
        uint8_t probe = 0;
        const ssize_t n = ::recv(s.fd, &probe, 1, MSG_PEEK | MSG_DONTWAIT);
        if (n > 0)
            return WaitResult::Ready;
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR))
            continue;
        s.PeerClosed(n == 0 ? ECONNRESET : errno);
    }
}

void TcpSocketDevice::Interrupt()
{
    const uint64_t one = 1;
    [[maybe_unused]] const ssize_t r = ::write(impl_->wakeFd, &one, sizeof one);
}

std::string TcpSocketDevice::Identity() const
{
    return "tcp:" + impl_->endpoint.Text();
}

bool TcpSocketDevice::Reached() const
{
    return impl_->reached;
}

uint16_t TcpSocketDevice::LocalPort() const
{
    sockaddr_storage address{};
    socklen_t size = sizeof address;
    if (impl_->listenFd < 0 || ::getsockname(impl_->listenFd, reinterpret_cast<sockaddr*>(&address), &size) != 0)
        return 0;
    if (address.ss_family == AF_INET)
        return ntohs(reinterpret_cast<const sockaddr_in&>(address).sin_port);
    return ntohs(reinterpret_cast<const sockaddr_in6&>(address).sin6_port);
}

}  // namespace veltro::platform
