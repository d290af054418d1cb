#pragma once
// The two IEC 62056-21 runs through the meter's optical port, as "1. Leggi" and "2. Scrivi"
// make them: sign on with the communication identifier, switch to programming mode, then
// read the meter serial number, the module's Modbus address and its RS485 settings, or
// send the password and write a new address and settings; sign off and close the port.
// Every step is one line of the run's log, in the page's words.
//
// A run holds the thread that calls it, as the window's did; while the link waits for the
// meter it lets that thread's pending events run, so a window stays painted and a command
// line program sees its Ctrl-C.

#include "core/SettingsStore.h"

#include <atomic>
#include <functional>
#include <map>
#include <optional>
#include <string>

namespace veltro::link {
class TIec1107;
class TLinkSerial;
}

namespace veltro::core {

// The data sets of the meter that hold the module's configuration.
inline constexpr const char* kSerialNumberCode = "0.0.1";
inline constexpr const char* kModbusAddressCode = "0.0.7";
inline constexpr const char* kModbusSettingsCode = "0.0.8";

// The password meters leave the factory with; the window's password field starts with it.
inline constexpr const char* kDefaultMeterPassword = "KLOMB";

// What a finished read or write run got from or gave to the meter.
struct ConfigRunResult {
    bool write = false;
    bool success = false;
    // The registers the run read ("0.0.1", "0.0.7", "0.0.8") or wrote ("0.0.7", "0.0.8"),
    // with the values the meter sent or was sent; a register the run did not get to is absent.
    std::map<std::string, std::string> registers;
    // The error that cut the run short, as its error box says it; empty when none did.
    std::string error;
    // The line of the run's log that says why it failed (the first such line); empty when
    // it did not fail or was cancelled.
    std::string failure;
    // Set when the port could not be opened: the system error of the attempt (0 when the
    // port component gave none), for PortOpenFailureText.
    std::optional<int> portError;
};

// What a write sends: the address ("" for the automatic one) and the settings ("" for the
// module's defaults, else "9600 8N1"), as "0.0.7" and "0.0.8" hold them.
struct ConfigToWrite {
    std::string address;
    std::string settings;
};

class ConfigRun {
public:
    using Log = std::function<void(const std::string& line)>;

    // The port and line settings of the optical head; log gets every step.
    ConfigRun(const IecSettings& iec, Log log);
    ~ConfigRun();
    ConfigRun(const ConfigRun&) = delete;
    ConfigRun& operator=(const ConfigRun&) = delete;

    // Raised as soon as a register has been read, before the next step.
    std::function<void(const std::string& code, const std::string& value)> OnValue;

    // True only when every step the meter had to confirm was confirmed. An exception (a
    // failure no step expects) passes through, with the port closed; Result() keeps what
    // the run got to before it.
    bool Read(const std::string& commIdent);
    bool Write(const std::string& commIdent, const std::string& password, const ConfigToWrite& values);
    const ConfigRunResult& Result() const { return result_; }

    // From any thread: the run takes no further step after the one in progress, then signs
    // off from the meter and closes the port as it always does.
    void Cancel() noexcept { cancelled_ = true; }
    bool Cancelled() const noexcept { return cancelled_; }

private:
    bool ConnectLink(link::TLinkSerial& link);
    bool Run(bool write, const std::string& commIdent, const std::function<bool(link::TIec1107&)>& body);
    // Logs a step about to be taken; false when the run was cancelled instead.
    bool Step(const std::string& line);
    // Logs why the run fails; the first such line is the result's failure.
    void Fail(const std::string& line);
    bool ReadRegister(link::TIec1107& iec, const char* step, const char* code);
    bool WriteRegister(link::TIec1107& iec, const char* step, const char* code, const std::string& value);

    IecSettings iec_;
    Log log_;
    ConfigRunResult result_;
    std::atomic<bool> cancelled_{false};
};

// The link's port and character format from the settings (the label tables' positions).
void ConfigureLink(link::TLinkSerial& link, const IecSettings& iec);

}  // namespace veltro::core
