#pragma once
// A serial adapter pulled out while in use. Its port is not a silent line: every call on
// it fails (EIO, ENODEV, ENXIO, a hang-up) until it is opened again, so waiting for
// replies on it would only repeat "no reply" for ever. The polling page closes such a
// port at once, says so once, and opens it again by itself when the same adapter is back
// under its COM number (never another one that came to stand for the number meanwhile:
// its module would be polled as if it were the first); an IEC run ends with the same line
// in its log.

#include "core/ModuleLink.h"

#include <QString>

#include <chrono>
#include <optional>
#include <string>

namespace veltro::link {
class TLinkSerial;
}
namespace veltro::modbus {
class TModbusConnection;
}

namespace veltro::core {

// The log line for a port whose device went away; error is the system error code.
QString LostDeviceText(const std::string& port, int error);

// The log line when the link of an IEC run lost its device, else nothing.
std::optional<QString> LostLinkText(link::TLinkSerial& link);

// The log line for a gateway whose TCP connection failed or went away.
QString LostGatewayText(const std::string& gateway, int error);

// Why the module's link could not be opened: the gateway's reason through a gateway, the
// serial port's (busy, missing, no permission) otherwise.
QString LinkOpenFailureText(const ModuleLink& link, const std::string& port, int error);

// A connection on a TCP link, while open: whether its connection to the gateway came up.
// When the link is lost before that, the gateway could not be reached at all.
bool GatewayReached(modbus::TModbusConnection& connection);

// The polling side of a lost adapter or gateway.
class LostPort {
public:
    using Clock = std::chrono::steady_clock;

    bool IsLost() const { return state_ != State::Open; }
    // After a poll that got no reply: when the connection's device has gone, closes the
    // connection and returns the line to log (once per loss); otherwise changes nothing.
    std::optional<QString> AfterNoReply(modbus::TModbusConnection& connection);
    // While lost, at every poll tick: opens the connection again when it may be asked.
    // A serial port: once the adapter that was lost stands for the number again; back
    // then holds the line to log. A gateway: at growing intervals (a refusal is answered
    // at once, so retrying at every tick would only flood it); whether it is back shows
    // at the next reply. False while nothing was opened.
    bool TryReopen(modbus::TModbusConnection& connection, std::optional<QString>& back);
    // A reply came (normal or exception): a gateway opened again is back, said once.
    std::optional<QString> AfterReply(const modbus::TModbusConnection& connection);
    // Polling stopped: a loss is no longer waited out.
    void Forget()
    {
        state_ = State::Open;
        adapter_.clear();
        failures_ = 0;
    }

    // The longest pause between two attempts to reach a gateway.
    static constexpr std::chrono::milliseconds MaxRetryInterval{5000};

private:
    enum class State { Open, Lost, Confirming };
    State state_ = State::Open;
    std::string adapter_;  // the identity of the adapter lost (platform/PortNames.h)
    int failures_ = 0;     // a gateway: attempts in a row that did not bring a reply
    Clock::time_point nextAttempt_{};
};

}  // namespace veltro::core
