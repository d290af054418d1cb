// A paced simulated line seen from a client that opened the published port: a reply
// arrives spread over its line time, after the request's own line time, and an unpaced
// line delivers it at once.
#include "simulator/SimPort.h"
#include "support/PtyPair.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <poll.h>
#include <thread>
#include <unistd.h>

namespace veltro::sim {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

struct Arrival {
    Clock::time_point first{};
    Clock::time_point last{};
    size_t count = 0;
};

// Reads until count bytes came or the deadline passed, noting when the first and the
// last byte arrived.
Arrival ReceiveTimed(int fd, size_t count, std::chrono::milliseconds timeout)
{
    Arrival a;
    const auto deadline = Clock::now() + timeout;
    while (a.count < count && Clock::now() < deadline) {
        struct pollfd p {fd, POLLIN, 0};
        if (::poll(&p, 1, 5) <= 0)
            continue;
        char buf[256];
        const ssize_t n = ::read(fd, buf, sizeof buf);
        if (n <= 0)
            continue;
        const auto now = Clock::now();
        if (a.count == 0)
            a.first = now;
        a.last = now;
        a.count += static_cast<size_t>(n);
    }
    return a;
}

double Ms(Clock::duration d)
{
    return std::chrono::duration<double, std::milli>(d).count();
}

class PacedLine : public ::testing::TestWithParam<bool> {
protected:
    void SetUp() override
    {
        port.SetLineFormat({9600, 8, 'N', 1});  // 10 bits: 1.0417 ms a character
        port.SetPacing(GetParam());
        client = ::open(port.PublishedPath().c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
        ASSERT_GE(client, 0);
    }
    void TearDown() override
    {
        port.Stop();
        if (device.joinable())
            device.join();
        if (client >= 0)
            ::close(client);
    }

    test::PortDir dir;
    SimPort port{dir.Path(), 1};
    int client = -1;
    std::thread device;
};

TEST_P(PacedLine, ReplyTakesTheLineTimeOfRequestAndReply)
{
    constexpr size_t kRequest = 8, kReply = 121;  // a read of 58 registers
    const std::string reply(kReply, '\x5A');
    device = std::thread([&] {
        std::vector<uint8_t> heard;
        while (heard.size() < kRequest && !port.Stopped())
            port.Read(heard, 1000ms);
        port.Write(reply);
    });

    const auto sent = Clock::now();
    ASSERT_EQ(::write(client, "\x01\x03\x00\x00\x00\x3A\xC4\x19", kRequest), static_cast<ssize_t>(kRequest));
    const Arrival a = ReceiveTimed(client, kReply, 2000ms);
    ASSERT_EQ(a.count, kReply);
    device.join();
    EXPECT_EQ(port.BytesHeard(), kRequest);
    EXPECT_EQ(port.BytesSent(), kReply);

    const double character = 10.0 / 9600.0 * 1000.0;
    if (GetParam()) {
        // The first reply byte is complete one character after the request's last one.
        EXPECT_GE(Ms(a.first - sent), (kRequest + 1) * character - 0.5);
        EXPECT_LE(Ms(a.first - sent), (kRequest + 1) * character + 8.0);
        // The end is on schedule: no earlier than the line allows, and drift-free late
        // wake-ups add no more than a scheduling delay.
        EXPECT_GE(Ms(a.last - sent), (kRequest + kReply) * character - 0.5);
        EXPECT_LE(Ms(a.last - sent), (kRequest + kReply) * character + 15.0);
    } else {
        EXPECT_LT(Ms(a.last - sent), 20.0);
    }
}

INSTANTIATE_TEST_SUITE_P(Pacing, PacedLine, ::testing::Bool(),
                         [](const auto& info) { return info.param ? "On" : "Off"; });

}  // namespace
}  // namespace veltro::sim
