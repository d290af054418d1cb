#pragma once
// SimPort: one simulated serial line. A pseudo-terminal pair whose master side the
// simulator serves; the slave side is published as COMn in a port directory, where the
// program's port-name rule finds it.
//
// The simulator keeps no slave descriptor of its own, so it sees when the client
// closes the port (the master reports a hang-up) and notices when a client opens it
// again; a device on a real cable does the same when the PC side goes away and comes
// back. Reads and pauses can be cut short from another thread with Stop().
//
// A pseudo-terminal moves bytes instantly, so a client tested against it never meets
// the time a real line takes. With pacing on, the port plays that time: a request is
// taken as heard only once its last character would have crossed the line, and a reply
// goes out character by character at the line's rate, against a schedule fixed when the
// reply starts (a late wake-up sends the bytes that are due at once, so the reply ends
// when the line would have ended it, never later by the sum of small delays).

#include <atomic>
#include <chrono>
#include <cstdint>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

namespace veltro::sim {

// The character format of a simulated line.
struct LineFormat {
    uint32_t bitRate = 9600;
    int dataBits = 8;
    char parity = 'N';  // 'N', 'O' or 'E'
    int stopBits = 1;

    // One start bit, the data bits, a parity bit unless 'N', the stop bits.
    int BitsPerCharacter() const { return 1 + dataBits + (parity == 'N' ? 0 : 1) + stopBits; }
    // How long one character occupies the line.
    std::chrono::nanoseconds CharacterTime() const;

    bool operator==(const LineFormat&) const = default;
};

// When the bytes of one burst have crossed a line that starts sending them at `start`:
// byte i (from 0) is complete at start + (i + 1) character times.
class PacingSchedule {
public:
    using Clock = std::chrono::steady_clock;

    PacingSchedule(Clock::time_point start, std::chrono::nanoseconds characterTime)
        : start_(start), characterTime_(characterTime) {}

    Clock::time_point Due(size_t index) const { return start_ + characterTime_ * static_cast<int64_t>(index + 1); }
    // How many bytes from the start of the burst are complete at `now`.
    size_t CompleteBy(Clock::time_point now) const;
    // When a burst of `count` bytes ends.
    Clock::time_point End(size_t count) const { return start_ + characterTime_ * static_cast<int64_t>(count); }

private:
    Clock::time_point start_;
    std::chrono::nanoseconds characterTime_;
};

class SimPort {
public:
    enum class ReadResult {
        Data,     // at least one byte was appended
        Timeout,  // nothing arrived in time (a client is attached)
        NoClient, // the slave side is closed; the wait lasted at most the time-out
        Stopped,  // Stop() was called
        Interrupted, // Interrupt() was called
    };

    // Creates the pair and publishes the slave as portDir/COM<comNumber> (a symlink);
    // throws std::runtime_error when either fails. With a device path, serves that real
    // serial device instead (a PC's master at the far end of a cable): nothing is
    // published, and the device's rate and character format follow SetLineFormat.
    SimPort(const std::string& portDir, int comNumber, const std::string& device = {});
    ~SimPort();
    SimPort(const SimPort&) = delete;
    SimPort& operator=(const SimPort&) = delete;

    int ComNumber() const { return comNumber_; }
    const std::string& SlavePath() const { return slavePath_; }
    const std::string& PublishedPath() const { return publishedPath_; }

    // Waits up to timeout for bytes from the client and appends what is queued.
    ReadResult Read(std::vector<uint8_t>& out, std::chrono::milliseconds timeout);
    // Writes all bytes to the client; false when the client is gone or Stop() was called.
    bool Write(const std::string& bytes);
    // Waits for the given time unless Stop() comes first; false when stopped. This is
    // how a device takes its time before answering.
    bool Pause(std::chrono::milliseconds time);

    // Thread-safe; both take effect with the next read or write. Off by default: most
    // tests want their exchanges fast, and those about timing switch it on.
    void SetPacing(bool on) { pacing_ = on; }
    bool Pacing() const { return pacing_.load(); }
    void SetLineFormat(const LineFormat& format);
    LineFormat Format() const;
    // The rate, parity and stop bits the client configured its side with, as far as a
    // pseudo-terminal tells them: the data bits read as 8, and even parity reads as none
    // ('N'); odd parity does show. Nullopt on a real device, where the cable decides, and
    // for a rate the simulator does not run at (a client that set none).
    std::optional<LineFormat> ClientFormat() const;

    // Thread-safe: ends the current and every later wait.
    void Stop();
    // Thread-safe: ends the current Read, or the next one if none is waiting, with
    // Interrupted; later reads wait as usual. Several calls before a read count as one.
    void Interrupt();
    bool Stopped() const { return stopped_.load(); }

    // How often a client opened and closed the slave side since creation.
    uint64_t ClientOpens() const { return opens_.load(); }
    uint64_t ClientHangUps() const { return hangUps_.load(); }
    bool ClientPresent() const { return clientPresent_.load(); }
    // Bytes that crossed the line each way since creation: with the line format they
    // give the least time an exchange can take.
    uint64_t BytesHeard() const { return bytesHeard_.load(); }
    uint64_t BytesSent() const { return bytesSent_.load(); }

private:
    // Polls the master (and the stop pipe); updates the client presence counters.
    // Returns the master's revents, -1 when stopped, -2 when interrupted.
    int PollMaster(short events, std::chrono::milliseconds timeout);
    void OpenPseudoTerminal();
    void OpenDevice(const std::string& device);
    void ApplyFormatToDevice(const LineFormat& format);
    void NoteClient(bool present);
    // Books bytes just heard on the line; with pacing, when their last one arrives.
    void NoteHeard(size_t count);
    // Writes bytes as they become due on the schedule; false when stopped or gone.
    bool WritePaced(const std::string& bytes);
    bool WriteNow(const char* bytes, size_t count);
    // Waits until the time point unless Stop() comes first; false when stopped.
    bool WaitUntil(std::chrono::steady_clock::time_point when);

    int comNumber_;
    int master_ = -1;
    int wake_[2] = {-1, -1};
    int interrupt_[2] = {-1, -1};
    std::string slavePath_;
    std::string publishedPath_;
    bool realDevice_ = false;
    std::atomic<bool> stopped_{false};
    std::atomic<bool> clientPresent_{false};
    std::atomic<uint64_t> opens_{0};
    std::atomic<uint64_t> hangUps_{0};
    std::atomic<uint64_t> bytesHeard_{0};
    std::atomic<uint64_t> bytesSent_{0};
    std::atomic<bool> pacing_{false};
    mutable std::mutex formatLock_;
    LineFormat format_;
    // Until when the line is busy with what was heard or sent; a reply starts after it.
    // Used by the serving thread only.
    std::chrono::steady_clock::time_point lineBusyUntil_{};
};

}  // namespace veltro::sim
