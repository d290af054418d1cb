#pragma once
// Proof over the RS485 line that a configuration written through the meter took effect:
// the port is opened with the address and line settings just read or written, registers
// 0-1 are read and the serial number found there is compared with the meter's. The steps
// are reported as Italian log lines, and the check ends with one outcome and one line
// that says it.
//
// Event-driven on the UI thread like the module search: the read runs on the Modbus
// worker and each answer decides the next step.
//
// Through an RS485-to-Ethernet gateway the check proves the address and the serial number:
// the line settings are then the gateway's, set in its own configuration.

#include "core/RtuSettings.h"
#include "core/StationProbe.h"

#include <chrono>
#include <cstdint>
#include <functional>
#include <string>

namespace veltro::core {

enum TVerifyOutcome {
    voMatch,        // the module answers at that address and carries the meter's serial number
    voOtherModule,  // a station answers there, but another serial number, a refusal, or two stations
    voNoReply,      // nothing that answers the read came back, after every attempt
    voPortError,    // the port could not be opened, or the gateway could not be reached
};

struct VerifyTarget {
    std::string Port = "COM1";
    int Address = 1;  // 1-247
    RtuSettings Settings;
    std::string ExpectedSerial;  // the meter serial number as read through the optical port
    int Attempts = 3;
    std::chrono::milliseconds ReceiveTimeout{1000};
    ModuleLink Link{};  // the serial port (Port), or a gateway (Settings then unused)
};

// True when the serial number read from the module is the meter's: Expected is a decimal
// number (blanks around it and leading zeros allowed) of the same value.
bool SameSerialNumber(const std::string& Expected, std::uint32_t Read);

class ConfigVerifier {
public:
    explicit ConfigVerifier(platform::UiDispatcher* Dispatcher = nullptr);
    ~ConfigVerifier();  // closes the port; no event follows
    ConfigVerifier(const ConfigVerifier&) = delete;
    ConfigVerifier& operator=(const ConfigVerifier&) = delete;

    // Starts the check; every line and the outcome follow on the UI thread. Raises
    // std::logic_error while a check runs, std::invalid_argument for an address outside
    // 1-247 or fewer than one attempt.
    void Start(const VerifyTarget& Target);
    // From Start until the port is closed, just before OnFinished.
    bool Busy() const { return FBusy; }
    const std::string& Port() const { return FTarget.Port; }
    // After a voPortError: the system error of the attempt, for PortOpenFailureText (0
    // when none is known).
    int PortError() { return FProbe.OpenError(); }

    // One line per step, the outcome's line last.
    std::function<void(const std::string& Line)> OnLog;
    // Last; Line is the outcome's line (also given to OnLog).
    std::function<void(TVerifyOutcome Outcome, const std::string& Line)> OnFinished;

private:
    void Open();
    void Ask();
    void Answer(const StationProbe::Outcome& O);
    void Log(const std::string& Line);
    // "la porta COM2", "il gateway 192.168.1.20:502"
    std::string Where() const;
    void Finish(TVerifyOutcome Outcome, const std::string& Line);

    StationProbe FProbe;
    VerifyTarget FTarget;
    bool FBusy = false;
    int FAttempt = 0;
};

}  // namespace veltro::core
