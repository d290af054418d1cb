#pragma once
// A pseudo-terminal pair for tests: the slave side is published as COMn in a private
// override directory (VELTRO_PORT_DIR), the master side is a plain fd that plays the
// far end of the line.

#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

namespace veltro::test {

// A temporary directory set as VELTRO_PORT_DIR for the lifetime of the object.
class PortDir {
public:
    PortDir();
    ~PortDir();
    PortDir(const PortDir&) = delete;
    PortDir& operator=(const PortDir&) = delete;
    const std::string& Path() const { return path_; }
    // Publishes device as COMn (a symlink).
    void Publish(int n, const std::string& device) const;
    void Unpublish(int n) const;

private:
    std::string path_;
    std::string previous_;
    bool hadPrevious_ = false;
};

class PtyPair {
public:
    PtyPair();
    ~PtyPair();
    PtyPair(const PtyPair&) = delete;
    PtyPair& operator=(const PtyPair&) = delete;

    int MasterFd() const { return master_; }
    const std::string& SlavePath() const { return slavePath_; }

    // Closes the slave fd that openpty() returned; until then the line never hangs up.
    void CloseSlaveKeeper();
    // Closes the master: the port side then sees a hang-up.
    void CloseMaster();

    // Writes all bytes to the master.
    void Send(const std::vector<uint8_t>& bytes) const;
    void Send(const std::string& bytes) const;
    // Reads what arrives at the master until count bytes came or the time-out passed.
    std::vector<uint8_t> Receive(size_t count, std::chrono::milliseconds timeout) const;
    // Reads until the line has been quiet for `quiet`, at most `timeout` in all.
    std::vector<uint8_t> ReceiveUntilQuiet(std::chrono::milliseconds quiet,
                                           std::chrono::milliseconds timeout) const;

private:
    int master_ = -1;
    int slaveKeeper_ = -1;
    std::string slavePath_;
};

std::string Hex(const std::vector<uint8_t>& bytes);
std::vector<uint8_t> FromHex(const std::string& hex);  // spaces allowed

}  // namespace veltro::test
