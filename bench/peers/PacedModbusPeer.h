#pragma once
// A Modbus module on a line that takes real time: a libmodbus RTU server (a stack nobody
// here wrote) behind a simulated line with pacing on. The client's port is the simulated
// line published as COMn; each request is passed to the server as soon as it has been
// heard, and the server's reply goes back at the line's character rate.

#include "core/ModuleRegisters.h"
#include "core/RegisterWords.h"
#include "integration/modbus/LibmodbusPeer.h"
#include "simulator/SimPort.h"
#include "support/PtyPair.h"

#include <poll.h>

#include <chrono>
#include <string>
#include <thread>
#include <unistd.h>
#include <vector>

namespace veltro::bench {

class PacedModbusPeer {
public:
    static constexpr int kAddress = 100;  // the monitoring page's default server address

    PacedModbusPeer(const std::string& portDir, int comNumber, const sim::LineFormat& format, int address = kAddress)
        : line_(portDir, comNumber), server_(serverSide_.SlavePath(), address, static_cast<int>(format.bitRate))
    {
        line_.SetLineFormat(format);
        line_.SetPacing(true);
        server_.WithMap(Fill);
        thread_ = std::thread([this] { Run(); });
    }
    ~PacedModbusPeer()
    {
        line_.Stop();
        thread_.join();
    }
    PacedModbusPeer(const PacedModbusPeer&) = delete;
    PacedModbusPeer& operator=(const PacedModbusPeer&) = delete;

    uint64_t Replies() const { return replies_.load(); }

private:
    // A live-looking module: serial number, clock, mains values and one profile record.
    static void Fill(modbus_mapping_t& map)
    {
        auto put = [&](size_t at, const std::vector<uint16_t>& words) {
            for (size_t i = 0; i < words.size(); ++i)
                map.tab_registers[at + i] = words[i];
        };
        auto stamp = [&](size_t at, std::initializer_list<int> fields) {
            for (int v : fields)
                map.tab_registers[at++] = core::SwapWord(static_cast<uint16_t>(v));
        };
        put(0, core::LongWordToWords(12345678));
        stamp(2, {17, 58, 0, 2026, 12, 8});
        for (size_t i = 0; i < 10; ++i)
            put(8 + 4 * i, core::DoubleToWords(1000.0 * static_cast<double>(i) + 0.125));
        put(48, core::SingleToWords(0.98f));
        put(50, core::SingleToWords(49.96f));
        put(52, core::SingleToWords(1520.5f));
        for (size_t i = 0; i < 3; ++i) {
            put(58 + 2 * i, core::SingleToWords(10.0f + static_cast<float>(i)));
            put(58 + core::kRegCurrent[i], core::SingleToWords(2.5f));
            put(58 + core::kRegVoltage[i], core::SingleToWords(230.0f));
        }
        put(64, core::SingleToWords(120.0f));
        put(66, core::SingleToWords(240.0f));
        stamp(116, {0, 15, 0, 2026, 12, 8});
    }

    // The length of an RTU reply from its first bytes, 0 while that is not known yet.
    static size_t ReplyLength(const std::vector<uint8_t>& r)
    {
        if (r.size() < 3)
            return 0;
        if (r[1] & 0x80)
            return 5;  // address, function, exception code, CRC
        if (r[1] >= 1 && r[1] <= 4)
            return 5u + r[2];  // address, function, byte count, data, CRC
        return 8;
    }

    std::vector<uint8_t> ServerReply()
    {
        std::vector<uint8_t> reply;
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(500);
        while (std::chrono::steady_clock::now() < deadline) {
            const size_t expected = ReplyLength(reply);
            if (expected != 0 && reply.size() >= expected)
                break;
            struct pollfd p {serverSide_.MasterFd(), POLLIN, 0};
            if (::poll(&p, 1, 20) <= 0)
                continue;
            uint8_t buf[512];
            const ssize_t n = ::read(serverSide_.MasterFd(), buf, sizeof buf);
            if (n > 0)
                reply.insert(reply.end(), buf, buf + n);
        }
        return reply;
    }

    void Run()
    {
        std::vector<uint8_t> request;
        for (;;) {
            request.clear();
            const auto result = line_.Read(request, std::chrono::milliseconds(200));
            if (result == sim::SimPort::ReadResult::Stopped)
                return;
            if (result != sim::SimPort::ReadResult::Data)
                continue;
            serverSide_.Send(request);
            const std::vector<uint8_t> reply = ServerReply();
            if (!reply.empty() && line_.Write(std::string(reply.begin(), reply.end())))
                ++replies_;
        }
    }

    sim::SimPort line_;
    veltro::test::PtyPair serverSide_;
    modbus::test::LibmodbusServer server_;
    std::atomic<uint64_t> replies_{0};
    std::thread thread_;
};

}  // namespace veltro::bench
