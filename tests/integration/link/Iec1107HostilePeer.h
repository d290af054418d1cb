#pragma once
// A misbehaving meter on the master side of a pseudo-terminal, for the IEC client over the
// serial link: it answers every command with a scripted reply, sent in chunks with pauses
// that stand for line time, or talks without end. It runs on its own thread; the client
// runs on the test thread, which is the UI thread of the link's port.

#include "link/Iec1107.h"
#include "link/LinkSerial.h"
#include "platform/ManualUiDispatcher.h"
#include "support/PtyPair.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <poll.h>
#include <string>
#include <thread>
#include <unistd.h>

namespace veltro::test {

using namespace std::chrono_literals;

class HostileMeter {
public:
    struct Script {
        std::string Reply;                      // what each command is answered with
        size_t Chunk = 0;                       // bytes per write; 0: all at once
        std::chrono::milliseconds Gap{0};       // line time between chunks (and before the first)
        bool Endless = false;                   // repeat the reply for ever, commands or not
        std::chrono::milliseconds GiveUp{40s};  // an endless meter falls silent after this
    };

    HostileMeter(int masterFd, Script script) : fd_(masterFd), script_(std::move(script))
    {
        thread_ = std::thread([this] { Run(); });
    }
    ~HostileMeter()
    {
        stop_ = true;
        thread_.join();
    }
    int Commands() const { return commands_; }

private:
    using Clock = std::chrono::steady_clock;

    // Reads what the client wrote; true when something came.
    bool Drain(std::chrono::milliseconds wait)
    {
        struct pollfd p {fd_, POLLIN, 0};
        if (::poll(&p, 1, static_cast<int>(wait.count())) <= 0 || !(p.revents & POLLIN))
            return false;
        char buf[256];
        return ::read(fd_, buf, sizeof buf) > 0;
    }

    // Writes while the client keeps reading; false once stopping.
    bool Write(const char* data, size_t size)
    {
        while (size > 0 && !stop_) {
            struct pollfd p {fd_, POLLOUT, 0};
            if (::poll(&p, 1, 10) <= 0)
                continue;
            const ssize_t n = ::write(fd_, data, size);
            if (n < 0 && errno != EAGAIN && errno != EINTR)
                return false;
            if (n > 0) {
                data += n;
                size -= static_cast<size_t>(n);
            }
        }
        return !stop_;
    }

    // Sends the reply in chunks; a new command cuts it short (the meter starts over).
    void Answer()
    {
        const std::string& r = script_.Reply;
        const size_t chunk = script_.Chunk == 0 ? r.size() : script_.Chunk;
        const auto started = Clock::now();
        size_t at = 0;
        while (!stop_) {
            if (script_.Gap.count() > 0 && Drain(script_.Gap)) {
                ++commands_;
                if (!script_.Endless) {
                    at = 0;
                    continue;
                }
            }
            if (script_.Endless && Clock::now() - started > script_.GiveUp)
                return;
            const size_t n = std::min(chunk, r.size() - at);
            if (!Write(r.data() + at, n))
                return;
            at += n;
            if (at == r.size()) {
                if (!script_.Endless)
                    return;
                at = 0;
            }
        }
    }

    void Run()
    {
        while (!stop_) {
            if (!Drain(20ms))
                continue;
            ++commands_;
            // The rest of the command, then the answer.
            while (Drain(20ms)) {
            }
            Answer();
        }
    }

    int fd_;
    Script script_;
    std::atomic<bool> stop_{false};
    std::atomic<int> commands_{0};
    std::thread thread_;
};

// The IEC client over the serial link on COM1, which is the slave side of the pty.
class IecOverPty : public ::testing::Test {
protected:
    IecOverPty() : previous_(platform::InstallUiDispatcher(&ui_)) { dir_.Publish(1, pty.SlavePath()); }
    ~IecOverPty() override
    {
        link_.Disconnect();
        platform::InstallUiDispatcher(previous_);
    }
    void SetUp() override
    {
        link_.Connect();
        ASSERT_TRUE(link_.IsConnected()) << link_.LastError;
        iec.Link = &link_;
        iec.Pause = [](uint32_t) {};
        iec.SetRetries(2);
    }

    static std::string Block(const std::string& text)
    {
        const std::string block = std::string{link::STX} + text + link::ETX;
        return block + static_cast<char>(link::TIec1107::CalcBcc(block));
    }
    static std::string ReadCommand() { return std::string{link::SOH} + "R1" + link::STX + "1.8.0()" + link::ETX; }

    // Every attempt left an entry, and each names what went wrong.
    void ExpectErrors(const std::string& part) const
    {
        ASSERT_EQ(iec.Errors.size(), 2u);
        for (const std::string& e : iec.Errors)
            EXPECT_NE(e.find(part), std::string::npos) << e;
    }

    PtyPair pty;
    link::TIec1107 iec;

private:
    PortDir dir_;
    platform::ManualUiDispatcher ui_;
    platform::UiDispatcher* previous_;
    link::TLinkSerial link_;
};

}  // namespace veltro::test
