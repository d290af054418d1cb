#pragma once
// A byte link over a plain file descriptor of a serial device (in tests, the slave side
// of a pseudo-terminal), with the timed reads the IEC client relies on. It lets the
// client talk to a peer without the serial port component in between.

#include "link/Link.h"

#include <cerrno>
#include <chrono>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <string>
#include <termios.h>
#include <unistd.h>

namespace veltro::test {

class FdLink : public link::TLink {
public:
    explicit FdLink(std::string device) : device_(std::move(device)) {}
    ~FdLink() override { Disconnect(); }

    void GetDescription(std::string& text) override { text = "Fd, " + device_; }
    void PurgeInput() override
    {
        if (fd_ >= 0)
            ::tcflush(fd_, TCIFLUSH);
    }
    void SaveToXml(link::XmlDocument&, link::XmlElement*&) override {}
    bool IsConnected() override { return fd_ >= 0; }
    bool IsSameLink(const link::TLink* other) override { return other == this; }

    void Connect() override
    {
        TLink::Connect();
        Disconnect();
        fd_ = ::open(device_.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
        if (fd_ < 0) {
            LastError = "Connect: " + std::string(std::strerror(errno));
            return;
        }
        struct termios t {};
        ::tcgetattr(fd_, &t);
        ::cfmakeraw(&t);
        ::tcsetattr(fd_, TCSANOW, &t);
    }
    void Disconnect() override
    {
        if (fd_ >= 0)
            ::close(fd_);
        fd_ = -1;
    }

    bool WriteBytes(const std::vector<uint8_t>& bytes) override
    {
        return WriteString(std::string(bytes.begin(), bytes.end()));
    }
    bool WriteString(const std::string& bytes) override
    {
        // Like the serial link: a reply is read from the point its command was sent.
        PurgeInput();
        size_t done = 0;
        const auto deadline = Clock::now() + std::chrono::seconds(1);
        while (done < bytes.size()) {
            const ssize_t n = fd_ < 0 ? -1 : ::write(fd_, bytes.data() + done, bytes.size() - done);
            if (n > 0) {
                done += static_cast<size_t>(n);
                continue;
            }
            if (n < 0 && (errno == EAGAIN || errno == EINTR) && Clock::now() < deadline) {
                struct pollfd p {fd_, POLLOUT, 0};
                ::poll(&p, 1, 10);
                continue;
            }
            LastError = "WriteString: " + std::string(fd_ < 0 ? "not connected" : std::strerror(errno));
            return false;
        }
        return true;
    }

    int32_t ReadBufferTimed(uint8_t* dest, uint16_t count, uint32_t timeoutMs) override
    {
        const auto deadline = After(timeoutMs);
        int32_t got = 0;
        while (got < count) {
            const Read r = ReadOne(dest[got], deadline);
            if (r == Read::Error) {
                LastError = "ReadBufferTimed: line lost";
                return -1;
            }
            if (r == Read::Timeout)
                break;
            ++got;
        }
        return got;
    }
    void SkipChars(uint32_t timeoutMs) override
    {
        char c;
        while (ReadCharTimed(c, timeoutMs)) {
        }
    }
    bool ReadCharTimed(char& c, uint32_t timeoutMs) override
    {
        uint8_t b = 0;
        if (!ReadTimed(b, timeoutMs, "ReadCharTimed"))
            return false;
        c = static_cast<char>(b);
        return true;
    }
    bool ReadByteTimed(uint8_t& b, uint32_t timeoutMs) override
    {
        if (!ReadTimed(b, timeoutMs, "ReadByteTimed"))
            return false;
        SetByteCount(ByteCount + 1);
        return true;
    }
    bool ReadStringTimed(std::string& text, const std::string& terminator, uint32_t timeoutMs) override
    {
        return ReadUntil(text, timeoutMs, "ReadStringTimed",
                         [&](const std::string& s) { return s.ends_with(terminator); });
    }
    bool ReadStringToEOT(std::string& text, uint32_t timeoutMs, char& last) override
    {
        const bool ok = ReadUntil(text, timeoutMs, "ReadStringToEOT", [](const std::string& s) {
            return !s.empty() && (s.back() == 0x04 || s.back() == 0x03);
        });
        if (ok)
            last = text.back();
        return ok;
    }

    int Fd() const { return fd_; }

private:
    using Clock = std::chrono::steady_clock;
    enum class Read { Byte, Timeout, Error };

    static Clock::time_point After(uint32_t ms) { return Clock::now() + std::chrono::milliseconds(ms); }

    Read ReadOne(uint8_t& b, Clock::time_point deadline)
    {
        for (;;) {
            if (fd_ < 0)
                return Read::Error;
            const ssize_t n = ::read(fd_, &b, 1);
            if (n == 1)
                return Read::Byte;
            if (n == 0 || (errno != EAGAIN && errno != EINTR))
                return Read::Error;  // EIO: the far end hung up
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
            if (left.count() <= 0)
                return Read::Timeout;
            struct pollfd p {fd_, POLLIN, 0};
            if (::poll(&p, 1, static_cast<int>(left.count())) > 0 && (p.revents & (POLLHUP | POLLERR)) &&
                !(p.revents & POLLIN))
                return Read::Error;
        }
    }

    bool ReadTimed(uint8_t& b, uint32_t timeoutMs, const char* operation)
    {
        const Read r = ReadOne(b, After(timeoutMs));
        if (r == Read::Byte)
            return true;
        LastError = std::string(operation) + (r == Read::Timeout ? ": timed out" : ": line lost");
        return false;
    }

    template <typename Done>
    bool ReadUntil(std::string& text, uint32_t timeoutMs, const char* operation, Done done)
    {
        // At most 4094 bytes without the terminator, as the serial link's buffer holds.
        const auto deadline = After(timeoutMs);
        std::string got;
        for (;;) {
            uint8_t b = 0;
            const Read r = ReadOne(b, deadline);
            if (r != Read::Byte || got.size() >= 4094) {
                LastError = std::string(operation) + (r == Read::Error ? ": line lost" : ": timed out");
                if (r != Read::Error)
                    text.clear();
                return false;
            }
            got += static_cast<char>(b);
            if (done(got))
                break;
        }
        text = got.substr(0, got.find('\0'));
        return true;
    }

    std::string device_;
    int fd_ = -1;
};

}  // namespace veltro::test
