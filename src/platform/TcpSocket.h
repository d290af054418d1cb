#pragma once
// A TCP connection as a byte line: what an RS485-to-Ethernet gateway is to the Modbus line
// behind it. It stands behind the same device seam as a serial port, so the Modbus line
// and its worker run over it unchanged.
//
// A client connects without blocking its caller: the connection completes (or fails) in
// the first wait or write, bounded by the connect time-out and ended at once by Interrupt,
// so closing never waits for a gateway that does not answer. A server listens and serves
// one client at a time; when that client goes, the next one is accepted.

#include "platform/SerialDevice.h"

#include <chrono>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

namespace veltro::platform {

struct TcpEndpoint {
    std::string host;
    uint16_t port = 502;

    // "192.168.1.20:502", "gateway:5020"; the port is 502 when absent, and 0 lets a server
    // take any free port. Nothing for a text without a host, with a port that is no number
    // up to 65535, or with blanks.
    static std::optional<TcpEndpoint> Parse(std::string_view text);
    std::string Text() const;  // "host:port"
};

class TcpSocketDevice : public ISerialDevice {
public:
    // How long a client waits for a gateway to accept the connection.
    static constexpr std::chrono::milliseconds DefaultConnectTimeout{3000};

    // Starts connecting. nullptr with error set when the host cannot be resolved or no
    // socket can be made; a refused or unanswered connection shows at the first use.
    static std::unique_ptr<TcpSocketDevice> Connect(const TcpEndpoint& endpoint, std::chrono::milliseconds connectTimeout,
                                                    int& error);
    // Listens on the endpoint (the host may be empty: every address). nullptr with error set
    // when it cannot.
    static std::unique_ptr<TcpSocketDevice> Listen(const TcpEndpoint& endpoint, int& error);
    ~TcpSocketDevice() override;

    bool IsOpen() const override;
    void Close() override;
    int LastError() const override;
    bool Configure(const SerialSettings&) override { return true; }
    int InQueue() override;
    int OutQueue() override { return 0; }
    bool Purge(bool input, bool output) override;
    long Read(uint8_t* dst, size_t max) override;
    long Write(const uint8_t* src, size_t count, std::chrono::milliseconds timeout) override;
    WaitResult WaitReadable(std::chrono::milliseconds timeout) override;
    void Interrupt() override;
    // The kernel takes over what was written; nothing to wait for.
    bool Drain(std::chrono::milliseconds) override { return true; }
    bool SetRts(bool) override { return true; }
    bool SetDtr(bool) override { return true; }
    bool SetRs485(bool) override { return false; }
    LineErrors TakeLineErrors() override { return {}; }
    std::string Identity() const override;

    // The port a listening device took (useful when it was asked for port 0).
    uint16_t LocalPort() const;
    // A client: its connection came up at some point, and stays so after a failure. A
    // failure before it is a gateway that could not be reached (refused, unreachable, no
    // answer to the connect), one after it a connection lost. Safe from any thread.
    bool Reached() const;

    struct Impl;

private:
    explicit TcpSocketDevice(std::unique_ptr<Impl> impl);
    std::unique_ptr<Impl> impl_;
};

}  // namespace veltro::platform
