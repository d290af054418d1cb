#pragma once
// A scripted serial device for unit tests of code above the serial seam. Input arrives in
// chunks: a chunk becomes readable when a wait asks for a character (so a frame split into
// chunks is read piece by piece), and a wait with nothing left to deliver reports silence
// at once instead of sleeping. Line errors, short reads, refusals and a stalled transmitter
// can be switched on. Everything the line does to the device is logged in order, with the
// time it happened.

#include "platform/ParityMarks.h"
#include "platform/SerialDevice.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <mutex>
#include <string>
#include <vector>

namespace veltro::test {

class FakeSerialDevice : public platform::ISerialDevice {
public:
    struct Chunk {
        std::vector<uint8_t> Bytes;
        platform::LineErrors Errors; // flagged when the chunk arrives, as a UART counts them
    };

    // --- script -------------------------------------------------------------------------
    void Deliver(std::vector<uint8_t> bytes, platform::LineErrors errors = {})
    {
        std::lock_guard lock(mutex_);
        pending_.push_back({std::move(bytes), errors});
        changed_.notify_all();
    }
    // Bytes as a driver that cannot count line errors hands them over: errors marked in
    // the data (0xFF 0x00 c), a data byte 0xFF doubled; a mark may span chunks.
    void DeliverMarked(const std::vector<uint8_t>& raw)
    {
        Chunk c;
        marks_.Decode(raw.data(), raw.size(), c.Bytes, c.Errors);
        Deliver(std::move(c.Bytes), c.Errors);
    }
    // The next read returns this many bytes fewer than are queued (they stay queued).
    void ShortenNextRead(size_t by)
    {
        std::lock_guard lock(mutex_);
        shortenBy_ = by;
    }
    // Writes stop after this many bytes (a transmitter held back by flow control).
    void StallWritesAfter(size_t bytes)
    {
        std::lock_guard lock(mutex_);
        writeLimit_ = bytes;
    }
    // Line errors flagged while the next write goes out.
    void ErrorsDuringWrite(platform::LineErrors errors)
    {
        std::lock_guard lock(mutex_);
        writeErrors_ = errors;
    }
    bool failInQueue = false;
    bool failConfigure = false;
    bool failWait = false;
    bool failModemLines = false;
    bool interruptWorks = true;
    bool hasRs485 = false;
    // The output always reads as gone at once (as a queue count that leaves out the
    // UART's FIFO does); false: it never drains (held by CTS), each drain waits out its
    // time-out.
    bool drainSucceeds = true;

    // --- observation --------------------------------------------------------------------
    using Clock = std::chrono::steady_clock;
    std::vector<std::string> Log() const
    {
        std::lock_guard lock(mutex_);
        return log_;
    }
    // When the last entry equal to what was logged; the epoch when there is none.
    Clock::time_point TimeOf(const std::string& what) const
    {
        std::lock_guard lock(mutex_);
        for (size_t i = log_.size(); i-- > 0;)
            if (log_[i] == what)
                return stamps_[i];
        return {};
    }
    std::vector<uint8_t> Written() const
    {
        std::lock_guard lock(mutex_);
        return written_;
    }
    platform::SerialSettings LastSettings() const
    {
        std::lock_guard lock(mutex_);
        return settings_;
    }
    size_t Queued() const
    {
        std::lock_guard lock(mutex_);
        return queue_.size();
    }

    // --- ISerialDevice ------------------------------------------------------------------
    bool IsOpen() const override
    {
        std::lock_guard lock(mutex_);
        return open_;
    }
    void Close() override
    {
        std::lock_guard lock(mutex_);
        open_ = false;
        Note("close");
        changed_.notify_all();
    }
    int LastError() const override { return lastError_; }
    bool Configure(const platform::SerialSettings& settings) override
    {
        std::lock_guard lock(mutex_);
        if (failConfigure)
            return Fail(22);
        settings_ = settings;
        Note("configure");
        return true;
    }
    int InQueue() override
    {
        std::lock_guard lock(mutex_);
        if (failInQueue) {
            Fail(5);
            return -1;
        }
        return static_cast<int>(queue_.size());
    }
    int OutQueue() override { return 0; }
    bool Purge(bool input, bool output) override
    {
        std::lock_guard lock(mutex_);
        if (input) {
            queue_.clear();
            Note("purge-in");
        }
        if (output)
            Note("purge-out");
        return true;
    }
    long Read(uint8_t* dst, size_t max) override
    {
        std::lock_guard lock(mutex_);
        size_t n = std::min(max, queue_.size());
        if (shortenBy_) {
            n = n > shortenBy_ ? n - shortenBy_ : 0;
            shortenBy_ = 0;
        }
        for (size_t i = 0; i < n; ++i) {
            dst[i] = queue_.front();
            queue_.pop_front();
        }
        return static_cast<long>(n);
    }
    long Write(const uint8_t* src, size_t count, std::chrono::milliseconds) override
    {
        std::lock_guard lock(mutex_);
        const size_t n = std::min(count, writeLimit_);
        written_.insert(written_.end(), src, src + n);
        Note("write " + std::to_string(n));
        Add(errors_, writeErrors_);
        writeErrors_ = {};
        return static_cast<long>(n);
    }
    platform::WaitResult WaitReadable(std::chrono::milliseconds timeout) override
    {
        std::unique_lock lock(mutex_);
        if (failWait)
            return Fail(9), platform::WaitResult::Error;
        for (;;) {
            if (interrupted_) {
                interrupted_ = false;
                return platform::WaitResult::Interrupted;
            }
            if (!queue_.empty())
                return platform::WaitResult::Ready;
            if (!pending_.empty()) {
                Chunk c = std::move(pending_.front());
                pending_.pop_front();
                queue_.insert(queue_.end(), c.Bytes.begin(), c.Bytes.end());
                Add(errors_, c.Errors);
                continue;
            }
            if (timeout.count() >= 0)
                return platform::WaitResult::Timeout; // silence, reported without sleeping
            changed_.wait(lock);
        }
    }
    void Interrupt() override
    {
        std::lock_guard lock(mutex_);
        interrupted_ = interruptWorks;
        changed_.notify_all();
    }
    bool Drain(std::chrono::milliseconds timeout) override
    {
        std::unique_lock lock(mutex_);
        Note("drain");
        if (!drainSucceeds)
            changed_.wait_for(lock, timeout, [this] { return drainSucceeds; });
        return drainSucceeds;
    }
    bool SetRts(bool on) override { return ModemLine(on ? "rts on" : "rts off"); }
    bool SetDtr(bool on) override { return ModemLine(on ? "dtr on" : "dtr off"); }
    bool SetRs485(bool enable) override
    {
        std::lock_guard lock(mutex_);
        if (!hasRs485)
            return Fail(25);
        Note(enable ? "rs485 on" : "rs485 off");
        return true;
    }
    platform::LineErrors TakeLineErrors() override
    {
        std::lock_guard lock(mutex_);
        const platform::LineErrors out = errors_;
        errors_ = {};
        return out;
    }

private:
    static void Add(platform::LineErrors& to, const platform::LineErrors& e)
    {
        to.parity += e.parity;
        to.framing += e.framing;
        to.overrun += e.overrun;
        to.breaks += e.breaks;
    }
    bool Fail(int err)
    {
        lastError_ = err;
        return false;
    }
    void Note(std::string what)
    {
        log_.push_back(std::move(what));
        stamps_.push_back(Clock::now());
    }
    bool ModemLine(const char* what)
    {
        std::lock_guard lock(mutex_);
        if (failModemLines)
            return Fail(5);
        Note(what);
        return true;
    }

    mutable std::mutex mutex_;
    std::condition_variable changed_;
    bool open_ = true;
    bool interrupted_ = false;
    std::atomic<int> lastError_{0};
    std::deque<Chunk> pending_;
    std::deque<uint8_t> queue_;
    platform::LineErrors errors_;
    platform::LineErrors writeErrors_;
    size_t shortenBy_ = 0;
    size_t writeLimit_ = SIZE_MAX;
    std::vector<uint8_t> written_;
    std::vector<std::string> log_;
    std::vector<Clock::time_point> stamps_;
    platform::ParityMarkDecoder marks_;
    platform::SerialSettings settings_;
};

// Hands a device to an owner (a serial line opening its port) while the test keeps the
// device itself: every call is passed on, Close included.
class SerialDeviceRef : public platform::ISerialDevice {
public:
    explicit SerialDeviceRef(platform::ISerialDevice& device) : d_(device) {}
    bool IsOpen() const override { return d_.IsOpen(); }
    void Close() override { d_.Close(); }
    int LastError() const override { return d_.LastError(); }
    bool Configure(const platform::SerialSettings& s) override { return d_.Configure(s); }
    int InQueue() override { return d_.InQueue(); }
    int OutQueue() override { return d_.OutQueue(); }
    bool Purge(bool input, bool output) override { return d_.Purge(input, output); }
    long Read(uint8_t* dst, size_t max) override { return d_.Read(dst, max); }
    long Write(const uint8_t* src, size_t count, std::chrono::milliseconds timeout) override
    {
        return d_.Write(src, count, timeout);
    }
    platform::WaitResult WaitReadable(std::chrono::milliseconds timeout) override
    {
        return d_.WaitReadable(timeout);
    }
    void Interrupt() override { d_.Interrupt(); }
    bool Drain(std::chrono::milliseconds timeout) override { return d_.Drain(timeout); }
    bool SetRts(bool on) override { return d_.SetRts(on); }
    bool SetDtr(bool on) override { return d_.SetDtr(on); }
    bool SetRs485(bool enable) override { return d_.SetRs485(enable); }
    platform::LineErrors TakeLineErrors() override { return d_.TakeLineErrors(); }

private:
    platform::ISerialDevice& d_;
};

} // namespace veltro::test
