#pragma once
// A serial adapter pulled out while in use. Its port is not a silent line: every call on
// it fails (EIO, ENODEV, ENXIO, a hang-up) until it is opened again, so waiting for
// replies on it would only repeat "no reply" for ever. The polling page closes such a
// port at once, says so once, and opens it again by itself when the same adapter is back
// under its COM number (never another one that came to stand for the number meanwhile:
// its module would be polled as if it were the first); an IEC run ends with the same line
// in its log.

#include <QString>

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

// The polling page's side of a lost adapter.
class LostPort {
public:
    bool IsLost() const { return lost_; }
    // After a poll that got no reply: when the connection's device has gone, closes the
    // connection and returns the line to log (once per loss); otherwise changes nothing.
    std::optional<QString> AfterNoReply(modbus::TModbusConnection& connection);
    // While lost, at every poll tick: opens the connection again once the adapter that
    // was lost stands for the port again. Returns the line to log when the port is back;
    // nothing (and no error box) while it is missing or another device stands for it.
    std::optional<QString> TryReopen(modbus::TModbusConnection& connection);
    // Polling stopped: a loss is no longer waited out.
    void Forget()
    {
        lost_ = false;
        adapter_.clear();
    }

private:
    bool lost_ = false;
    std::string adapter_;  // the identity of the adapter lost (platform/PortNames.h)
};

}  // namespace veltro::core
