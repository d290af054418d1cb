#pragma once
// SimPort: one simulated serial line. A pseudo-terminal pair whose master side the
// simulator serves; the slave side is published as COMn in a port directory, where the
// program's port-name rule finds it.
//
// The simulator keeps no slave descriptor of its own, so it sees when the client
// closes the port (the master reports a hang-up) and notices when a client opens it
// again; a device on a real cable does the same when the PC side goes away and comes
// back. Reads and pauses can be cut short from another thread with Stop().

#include <atomic>
#include <chrono>
#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

namespace veltro::sim {

class SimPort {
public:
    enum class ReadResult {
        Data,     // at least one byte was appended
        Timeout,  // nothing arrived in time (a client is attached)
        NoClient, // the slave side is closed; the wait lasted at most the time-out
        Stopped,  // Stop() was called
    };

    // Creates the pair and publishes the slave as portDir/COM<comNumber> (a symlink);
    // throws std::runtime_error when either fails.
    SimPort(const std::string& portDir, int comNumber);
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

    // Thread-safe: ends the current and every later wait.
    void Stop();
    bool Stopped() const { return stopped_.load(); }

    // How often a client opened and closed the slave side since creation.
    uint64_t ClientOpens() const { return opens_.load(); }
    uint64_t ClientHangUps() const { return hangUps_.load(); }
    bool ClientPresent() const { return clientPresent_.load(); }

private:
    // Polls the master (and the stop pipe); updates the client presence counters.
    // Returns the master's revents, or -1 when stopped.
    int PollMaster(short events, std::chrono::milliseconds timeout);
    void NoteClient(bool present);

    int comNumber_;
    int master_ = -1;
    int wake_[2] = {-1, -1};
    std::string slavePath_;
    std::string publishedPath_;
    std::atomic<bool> stopped_{false};
    std::atomic<bool> clientPresent_{false};
    std::atomic<uint64_t> opens_{0};
    std::atomic<uint64_t> hangUps_{0};
};

}  // namespace veltro::sim
