#pragma once
// ModuleLine: the simulated module's RS485 side as a serial device for its Modbus
// connection. It sits on a published SimPort, so the connection's server worker waits,
// reads and writes on the line the client opened, and it is where the line-level faults
// happen: a module that hears nothing, a reply with a broken CRC, stray bytes, the
// request echoed back as a half-duplex line without echo suppression does, a late reply,
// or a line that hangs up instead of answering.
//
// Like a real module it understands only a client that uses its own line settings: on a
// pseudo-terminal, requests sent at another rate, with other stop bits, or with odd parity
// against even or none (or the other way round) go unheard. A pseudo-terminal shows
// neither the data bits nor even parity from none.

#include "platform/SerialDevice.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace veltro::sim {

class SimPort;

// Misbehaviour on demand, for tests of the client's and the window's error paths.
struct ModuleFaults {
    bool silent = false;    // hears nothing, answers nothing
    bool wrongCrc = false;  // every reply carries a wrong CRC
    bool garbage = false;   // a few stray bytes before every reply
    bool echo = false;      // the request comes back before the reply
    bool truncated = false; // the reply loses its last bytes (a line cut off mid-frame)
    bool hangUp = false;    // instead of answering, the module drops the line (a fresh one
                            // is published under the same name for the next client)
    bool noise = false;     // hears nothing, and stray bytes come back for every request,
                            // as on a line with a wiring fault
    // Every request is refused with this exception code: 1 (function), 2 (address) or
    // 4 (device failure); 0 answers normally.
    int exceptionCode = 0;
    std::chrono::milliseconds replyDelay{0};  // pause before every reply

    bool operator==(const ModuleFaults&) const = default;
};

class ModuleLine : public platform::ISerialDevice {
public:
    static constexpr const char* kGarbage = "\x7F#~";
    // How many bytes the truncated fault takes off the end of a reply.
    static constexpr size_t kTruncatedBytes = 3;

    using FaultSource = std::function<ModuleFaults()>;
    // What another station on the same line sends after the module's reply to `request`
    // (the raw request frame); empty when it stays quiet.
    using SecondReply = std::function<std::string(const std::vector<uint8_t>& request)>;

    // Publishes the line as portDir/COM<comNumber>; throws std::runtime_error when it
    // cannot. With `pace` replies go out at the rate the connection configures.
    // With a device path the module serves that real serial device instead of a pty.
    ModuleLine(std::string portDir, int comNumber, FaultSource faults, bool pace = false, std::string device = {});
    ~ModuleLine() override;

    // The device a client opens (it changes after a hang-up).
    std::string SlavePath() const;
    // How often the line was dropped by the hang-up fault.
    uint64_t HangUps() const { return hangUps_.load(); }
    // Requests heard while the silent or noise fault was on, and so ignored.
    uint64_t IgnoredWhileSilent() const { return ignored_.load(); }
    // Requests sent with other line settings than the module's, and so not understood.
    uint64_t Misheard() const { return misheard_.load(); }
    // Set before the module serves the line.
    void SetSecondReply(SecondReply reply);
    // Waits until the module's connection waits for a request, so that what a client
    // sends from then on is heard; false when that did not come within `timeout`.
    bool WaitUntilListening(std::chrono::milliseconds timeout);
    // The line settings the connection last applied.
    platform::SerialSettings Settings() const;
    // Ends every wait for good; the connection then sees a hang-up.
    void Shutdown();

    bool IsOpen() const override { return true; }
    void Close() override {}
    int LastError() const override { return 0; }
    bool Configure(const platform::SerialSettings& settings) override;
    int InQueue() override;
    int OutQueue() override { return 0; }
    bool Purge(bool input, bool output) override;
    long Read(uint8_t* dst, size_t max) override;
    long Write(const uint8_t* src, size_t count, std::chrono::milliseconds timeout) override;
    platform::WaitResult WaitReadable(std::chrono::milliseconds timeout) override;
    void Interrupt() override;
    bool Drain(std::chrono::milliseconds) override { return true; }
    bool SetRts(bool) override { return true; }
    bool SetDtr(bool) override { return true; }
    bool SetRs485(bool) override { return false; }
    platform::LineErrors TakeLineErrors() override { return {}; }

private:
    std::shared_ptr<SimPort> Port() const;
    // Takes what the client sent within `timeout` into input_ (nothing while silent).
    enum class Pulled { Data, Nothing, Interrupted, Closed };
    Pulled Pull(std::chrono::milliseconds timeout);
    // The hang-up: a fresh line replaces this one, whose client sees it go.
    void ReplaceLine();
    std::shared_ptr<SimPort> NewPort() const;
    // The client's side is set as the module's (always so on a real device).
    bool SameSettings(const SimPort& port) const;
    // Waits for the reply delay unless an interrupt comes first.
    void Delay(std::chrono::milliseconds time);

    const std::string portDir_;
    const int comNumber_;
    const std::string device_;
    const FaultSource faults_;
    const bool pace_;

    mutable std::mutex lock_;  // port_, settings_, interrupted_
    std::shared_ptr<SimPort> port_;
    platform::SerialSettings settings_;
    std::condition_variable interruptSignal_;
    bool interrupted_ = false;
    std::condition_variable listeningSignal_;
    bool listening_ = false;
    std::atomic<bool> shutDown_{false};

    // The worker's own.
    std::vector<uint8_t> input_;    // received, not read yet
    std::vector<uint8_t> request_;  // read since the wait for the current request began

    std::atomic<uint64_t> hangUps_{0};
    std::atomic<uint64_t> ignored_{0};
    std::atomic<uint64_t> misheard_{0};
    SecondReply secondReply_;
};

}  // namespace veltro::sim
