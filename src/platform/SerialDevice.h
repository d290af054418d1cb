#pragma once
// The serial device seam: everything the serial port component and the Modbus line
// need from an operating-system serial port, and nothing more. PosixSerialDevice is
// the Linux implementation (termios, ioctl, poll); tests put fakes behind the same
// interface to produce line errors, short reads and overflows on demand.

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

namespace veltro::platform {

enum class SerialParity { None, Odd, Even, Mark, Space };
enum class SerialStopBits { One, OnePointFive, Two };
enum class SerialFlow { None, RtsCts, DtrDsr, XonXoff };

struct SerialSettings {
    uint32_t baudRate = 9600;          // any rate; non-standard ones use the custom-rate ioctl
    int dataBits = 8;                  // 5..8
    SerialParity parity = SerialParity::None;
    SerialStopBits stopBits = SerialStopBits::One;   // 1.5 maps to 2 on Linux
    SerialFlow flow = SerialFlow::None;
    bool checkParity = false;          // report parity/framing errors on input (marked in the
                                       // input where the driver cannot count them)
    bool stripNul = false;             // discard received NUL bytes
    uint8_t xonChar = 0x11;
    uint8_t xoffChar = 0x13;

    bool operator==(const SerialSettings&) const = default;
};

// Line errors counted since the previous TakeLineErrors.
struct LineErrors {
    uint32_t parity = 0;
    uint32_t framing = 0;
    uint32_t overrun = 0;
    uint32_t breaks = 0;
    bool Any() const { return parity || framing || overrun || breaks; }
};

enum class WaitResult {
    Ready,        // at least one byte can be read
    Timeout,      // nothing arrived in time
    Interrupted,  // Interrupt() was called
    HangUp,       // the far end is gone (pty master closed, USB adapter unplugged)
    Error,        // the wait itself failed; LastError() tells why
};

class ISerialDevice {
public:
    virtual ~ISerialDevice() = default;

    virtual bool IsOpen() const = 0;
    virtual void Close() = 0;
    // errno of the last failed call (0 when none failed yet).
    virtual int LastError() const = 0;

    // Applies the settings; false with LastError() when the driver refuses them.
    // Read-back differences are not errors (a pty reports 8N1 whatever was set).
    virtual bool Configure(const SerialSettings& settings) = 0;

    // Bytes waiting in the input / output queue, -1 on failure.
    virtual int InQueue() = 0;
    virtual int OutQueue() = 0;
    // Discards queued input and/or output.
    virtual bool Purge(bool input, bool output) = 0;

    // Never blocks: copies up to max queued bytes, 0 when none are queued, -1 on
    // failure (a hang-up included).
    virtual long Read(uint8_t* dst, size_t max) = 0;
    // Writes all bytes unless the time-out passes first; returns the bytes written
    // (fewer on time-out), -1 on failure.
    virtual long Write(const uint8_t* src, size_t count, std::chrono::milliseconds timeout) = 0;
    // Waits until a byte can be read. A negative time-out waits without limit.
    virtual WaitResult WaitReadable(std::chrono::milliseconds timeout) = 0;
    // Thread-safe: makes the current or the next WaitReadable return Interrupted once.
    virtual void Interrupt() = 0;
    // Waits until the output queue has gone out (and the transmitter is empty, where the
    // driver tells), at most the time-out; false if not.
    virtual bool Drain(std::chrono::milliseconds timeout) = 0;

    // Modem lines; a device without them (a pty) accepts the call and does nothing.
    virtual bool SetRts(bool on) = 0;
    virtual bool SetDtr(bool on) = 0;
    // Kernel RS-485 mode (the driver raises RTS while sending); false when unsupported.
    virtual bool SetRs485(bool enable) = 0;

    virtual LineErrors TakeLineErrors() = 0;

    // The adapter the device was opened as (ResolvePort's identity), so whoever loses
    // the line can wait for that adapter and no other; empty when unknown.
    virtual std::string Identity() const { return {}; }
};

class PosixSerialDevice : public ISerialDevice {
public:
    // Opens a port by name (see PortNames.h): non-blocking, exclusive, raw, CLOCAL.
    // Returns nullptr and sets error to the errno when it cannot be opened; ENOTTY when
    // the path is not a terminal device.
    static std::unique_ptr<PosixSerialDevice> Open(const std::string& name, int& error);
    ~PosixSerialDevice() override;

    bool IsOpen() const override;
    void Close() override;
    int LastError() const override;
    bool Configure(const SerialSettings& settings) override;
    int InQueue() override;
    int OutQueue() override;
    bool Purge(bool input, bool output) override;
    long Read(uint8_t* dst, size_t max) override;
    long Write(const uint8_t* src, size_t count, std::chrono::milliseconds timeout) override;
    WaitResult WaitReadable(std::chrono::milliseconds timeout) override;
    void Interrupt() override;
    bool Drain(std::chrono::milliseconds timeout) override;
    bool SetRts(bool on) override;
    bool SetDtr(bool on) override;
    bool SetRs485(bool enable) override;
    LineErrors TakeLineErrors() override;
    std::string Identity() const override;

    int Fd() const;

    struct Impl;

private:
    explicit PosixSerialDevice(std::unique_ptr<Impl> impl);
    // The driver's transmitter-empty flag; true where the driver does not report it.
    bool TransmitterEmpty();
    std::unique_ptr<Impl> impl_;
};

}  // namespace veltro::platform
