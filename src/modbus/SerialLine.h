#pragma once

#include "modbus/ExpectedReply.h"
#include "modbus/LineSettings.h"
#include "platform/SerialDevice.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <shared_mutex>
#include <span>
#include <string>
#include <vector>

namespace veltro::modbus {

// A time-out that never runs out. Any negative value means the same.
inline constexpr std::chrono::milliseconds InfiniteTimeout{-1};

// The end-of-frame silence is never shorter than this: below it a busy system's scheduling
// jitter alone would split frames.
inline constexpr std::uint32_t MinCharTimeoutMs = 20;

// The silence (ms) that ends a frame on a line with these settings. RTU counts
// SilentInterval characters of data + stop + parity bits (the start bit is not counted) at
// the bit rate: 9600 8N1 with 200 characters gives ceil(9 * 200 * 1000 / 9600) = 188 ms.
// ASCII takes SilentInterval as milliseconds. Either way at least MinCharTimeoutMs.
std::uint32_t CharTimeoutFor(const LineSettings& Settings);

// How a client tells its reply from the other bytes that come, and what came around it.
struct TReplySearch {
    // The reply expected; none: the line's silence alone ends the frame.
    const TExpectedReply* Expected = nullptr;
    // False: the reply ends as soon as it is complete, wherever stray bytes or the
    // request's echo put it; bytes after it in the same read are dropped, and a line error
    // flagged in a read that went on past the reply's CRC does not spoil it. True: the
    // reply counts only once the line has fallen silent and only when nothing came after it
    // (a second frame behind the first means two answers in one burst); otherwise the whole
    // burst is returned, which is no valid frame.
    bool WholeBurst = false;

    // Filled in when a reply was found: the bytes dropped before it, whether they began
    // with an exact copy of the request, and the bytes dropped after it.
    std::int32_t SkippedBefore = 0;
    bool EchoBefore = false;
    std::int32_t DroppedAfter = 0;
};

// The serial line under a Modbus connection: opening and configuring the port, the
// end-of-frame silence, and the timed primitives with which the worker thread waits for
// characters, collects one RTU or ASCII frame and writes a frame. It knows where a frame
// ends and nothing else of Modbus.
//
// Threads: OpenPort, ClosePort, ApplyLineSettings and ComputeCharTimeout run on the thread
// that owns the connection; the worker must not be running across OpenPort or ClosePort.
// Everything else runs on the worker thread only. ApplyLineSettings may run while the worker
// is in an exchange (the exchange may see the change). SignalServerStop and CharTimeout are
// safe from any thread.
class SerialLine {
public:
    // Opens a port by name; nullptr (with Error set to an errno value) when it cannot.
    using DeviceOpener =
        std::function<std::unique_ptr<platform::ISerialDevice>(const std::string& Port, int& Error)>;
    // Supplies a port that someone else opened and keeps owning (HookExistingPort); nullptr
    // when there is none. ClosePort never closes such a device.
    using HookedPortProvider = std::function<platform::ISerialDevice*()>;

    // Opens ports with platform::PosixSerialDevice::Open.
    static DeviceOpener DefaultOpener();
    // How long a client waits for a gateway to take its TCP connection.
    static constexpr std::chrono::milliseconds ConnectTimeout{3000};

    explicit SerialLine(DeviceOpener Opener = DefaultOpener());
    virtual ~SerialLine();

    SerialLine(const SerialLine&) = delete;
    SerialLine& operator=(const SerialLine&) = delete;

    void SetDeviceOpener(DeviceOpener Opener);
    void SetHookedPortProvider(HookedPortProvider Provider);

    // Obtains the port (opened by name, or from the hook provider), configures it and
    // computes the inter-character timeout. Raises EFieldwireError with "Could not open
    // serial port", "Failed to initialize serial I/O buffers", "Failed to initialize
    // communication timeouts", "Failed to initialize serial event mask" (the device's
    // wake-up does not end its waits) or "Failed to update device control block"; after a failure
    // nothing stays open (a hooked port is left as it was handed over).
    void OpenPort(const LineSettings& Settings);
    // Closes the port unless it was hooked; afterwards the line is closed either way.
    void ClosePort();
    bool IsOpen() const;

    // Writes rate, data bits, parity, stop bits, flow control and the modem lines to the
    // open port; does nothing while closed. Raises "Failed to update device control block"
    // when the port refuses them. Port, modes, flow control and the modem-line choices
    // are taken at OpenPort only (a connection refuses to change them while active).
    void ApplyLineSettings(const LineSettings& Settings);
    // Recomputes the inter-character timeout (under the write side of the timing lock) and
    // returns it in milliseconds.
    std::uint32_t ComputeCharTimeout(const LineSettings& Settings);
    // The current inter-character timeout (read side of the timing lock).
    std::chrono::milliseconds CharTimeout() const;

    // Discards what is queued, then, in RTU, keeps discarding for as long as characters keep
    // coming within one inter-character timeout, so that the worker starts at a quiet line.
    // Bounded by MaxSettleTime and ended early by SignalServerStop.
    void SettleLine();
    static constexpr std::chrono::milliseconds MaxSettleTime{2000};
    static constexpr std::chrono::milliseconds ClientSettleQuiet{50};
    // Discards what is queued and what keeps coming until the line has been quiet for
    // Quiet, at most Bound (in either mode); ended early by a close (AbortWaits) and by
    // SignalServerStop. With Drained, the bytes discarded are kept there, as many as its
    // capacity holds (it never grows).
    void DrainUntilQuiet(std::chrono::milliseconds Quiet, std::chrono::milliseconds Bound,
                         std::vector<std::uint8_t>* Drained = nullptr);

    // Clears the input side, the output side or both.
    virtual void PurgePort(bool Input, bool Output);

    // Waits until a character can be read, at most Timeout (negative: without limit). In
    // server mode a wait without limit also ends, with false, when SignalServerStop is called
    // (before or during the wait); other waits are not ended by it. False also on a lost line.
    bool WaitForRxChar(std::chrono::milliseconds Timeout);
    // Ends the next (or the current) unlimited server-mode wait. Thread-safe; one signal
    // ends one wait, like an auto-reset event.
    void SignalServerStop();
    // The line is being closed: ends the current wait, drain or RTS hold at once, and makes
    // every later one and every write fail at once, in either mode, until the port is
    // opened again. Thread-safe; it wakes the worker through the same device wake-up as
    // SignalServerStop.
    void AbortWaits();

    // Reads everything queued into Dest. Returns the byte count, or -1 when a line error
    // (parity, framing, overrun, break) was flagged before or during the read, when more is
    // queued than Room holds, when the read came up short, or when the line is lost. With
    // LineError given, a flagged line error does not fail the read but sets it.
    std::int32_t ReadQueued(std::uint8_t* Dest, std::int32_t Room, bool* LineError = nullptr);

    // Collects one frame into Dest (at most Room bytes) and returns its length; 0 means
    // nothing usable arrived (no characters, a line error, an overflow, an ASCII frame that
    // did not complete). RTU: the frame ends at a silence of CharTimeout or, with a reply
    // search (see TReplySearch), as soon as the bytes in hold the expected reply: that reply
    // alone is returned, moved to the front of Dest. ASCII: the frame runs from the last ':'
    // to CR LF. Remaining is the receive time left (negative: no limit). In client mode
    // every wait and read counts against it and a frame still arriving when it runs out is
    // returned as received so far; in server mode it is not counted down, but a wait that
    // ends without a character sets it to 0.
    virtual std::int32_t ReceiveFrame(std::uint8_t* Dest, std::int32_t Room,
                                      std::chrono::milliseconds CharTimeout,
                                      std::chrono::milliseconds& Remaining,
                                      TReplySearch* Search = nullptr);

    // A frame as it crosses the wire. The line's frames are RTU frames (address, PDU,
    // CRC), which a serial line and RTU over TCP carry as they are; a Modbus TCP line wraps
    // them. Outgoing gives the bytes for the next request or reply; Incoming, those that
    // brought the frame the last ReceiveFrame returned.
    virtual std::span<const std::uint8_t> Outgoing(std::span<const std::uint8_t> Frame) { return Frame; }
    virtual std::span<const std::uint8_t> Incoming(std::span<const std::uint8_t> Frame) { return Frame; }

    // Writes Count bytes and waits until they have left the driver, within Timeout plus
    // the frame's own line time (one character more with RTS toggling, for the hold below):
    // Timeout is the allowance for the driver and flow control, so a long frame at a low
    // rate is never cut for the time it takes to cross the line.
    // With fcRtsToggle RTS is raised around the write (by the driver's RS-485 mode where it
    // has one, else here: held until the transmitter is empty and never shorter than the
    // frame's line time). False when the frame was not out in time (the unsent rest is
    // discarded, LastError is ETIMEDOUT), a line error was flagged or the line is lost.
    bool SendFrame(const std::uint8_t* Data, std::int32_t Count, std::chrono::milliseconds Timeout);

    // Opened for server mode (it waits for requests and answers them).
    bool IsServerLine() const { return FConnectionMode == cmServer; }
    // A TCP link: frames end by their length, there is no line time.
    bool Stream() const { return FStream; }
    // The worker found the link dead without the device saying so (a TCP connection on
    // which nothing answers any more): from now on it counts as lost, with error.
    void MarkLost(int Error);

    // The far end hung up or the device failed: no wait or read will succeed again until
    // the port is reopened.
    bool LineLost() const;
    // errno of the last failed open or device call, 0 when none.
    int LastError() const;
    // The open device (nullptr when closed), for tests and diagnostics.
    platform::ISerialDevice* Device() const;

private:
    class ReceiveClock;

    class Arrivals;

    std::int32_t ReceiveRtuFrame(std::uint8_t* Dest, std::int32_t Room,
                                 std::chrono::milliseconds CharTimeout, ReceiveClock& Clock,
                                 TReplySearch* Search);
    bool PauseForLineTime(std::int32_t Characters, ReceiveClock& Clock);
    // Takes what is queued out of the driver: into Kept while it has room, the rest dropped.
    void Discard(std::vector<std::uint8_t>* Kept);
    std::int32_t ReceiveAsciiFrame(std::uint8_t* Dest, std::int32_t Room,
                                   std::chrono::milliseconds CharTimeout, ReceiveClock& Clock,
                                   bool WholeBurst);
    using TimePoint = std::chrono::steady_clock::time_point;
    bool DrainUntil(TimePoint Deadline);
    bool HoldLineTime(std::int32_t Count, TimePoint FirstByte, TimePoint Deadline);
    // Sleeps until Until; false (at once) when the line is aborted.
    bool PauseUnlessAborted(TimePoint Until);
    void ReleaseDevice();
    void NoteDeviceFailure();

    DeviceOpener FOpener;
    HookedPortProvider FHookProvider;

    std::unique_ptr<platform::ISerialDevice> FOwnedDevice;
    platform::ISerialDevice* FDevice = nullptr; // owned or hooked; nullptr while closed
    bool FHooked = false;
    bool FKernelRs485 = false;
    bool FStream = false;  // a TCP link: no line time, no silence between frames

    // Taken at OpenPort; constant while the port is open.
    TTransmissionMode FTransmissionMode = tmRTU;
    TConnectionMode FConnectionMode = cmClient;
    TFlowControl FFlowControl = fcNone;
    bool FRtsEnabled = true;
    bool FDtrEnabled = true;

    // Written by ApplyLineSettings on the owner's thread, read by the worker.
    std::atomic<bool> FManualRtsToggle{false};
    std::atomic<std::uint32_t> FCharTimeUs{0};

    mutable std::shared_mutex FTimingLock;
    std::uint32_t FCharTimeoutMs = MinCharTimeoutMs;

    // Worker side: when a byte last crossed the line, read or written.
    std::chrono::steady_clock::time_point FLastActivity;

    std::atomic<bool> FStopPending{false};
    std::mutex FAbortLock;
    std::condition_variable FAbortSignal;
    std::atomic<bool> FAborted{false};
    std::atomic<bool> FLineLost{false};
    std::atomic<int> FLastError{0};
};

} // namespace veltro::modbus
