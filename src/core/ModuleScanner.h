#pragma once
// The search for a module whose address or line settings nobody remembers: every
// candidate (line settings x address) gets one read of registers 0-1 with a receive
// time-out scaled to the bit rate, the most likely settings first. Any reply that answers
// the read, an exception reply included, is a station; it is then asked once more, this
// time reading the line until it falls silent, so that a second station at the same
// address or bytes around the reply show. Whatever else comes back is kept as a
// disturbance of its own kind, with its bytes, and never taken for a station.
//
// An event-driven walk on the UI thread: each answer decides and asks the next candidate.
// The port is the scanner's own while it runs and is closed when it ends. The texts
// (Italian) are made here; the window only shows them.
//
// Through an RS485-to-Ethernet gateway the search tries addresses only: the gateway's
// RS485 side has the rate and parity of its own configuration, which no question from
// here can change. An exception the gateway sends for an address it cannot reach counts
// as silence there, not as a station.

#include "core/RtuSettings.h"
#include "core/StationProbe.h"

#include <chrono>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace veltro::core {

struct ScanOptions {
    std::string Port = "COM1";
    std::vector<RtuSettings> Settings = ScanSettings();  // tried in this order; unused through a gateway
    int FirstAddress = 1;
    int LastAddress = 247;
    bool StopAtFirst = true;  // false: go on and list every station
    // How long a station may take before its reply starts. Part of every candidate's
    // receive time-out, so it sets the pace of the search: see ScanReceiveTimeout.
    std::chrono::milliseconds Turnaround{50};
    ModuleLink Link{};  // the serial port (Port), or a gateway
};

// The receive time-out of one candidate: the line time of the request (8 characters) and
// of the reply (9), plus the turnaround. 9600 8N1: 18 + 50 = 68 ms.
std::chrono::milliseconds ScanReceiveTimeout(const RtuSettings& Settings, std::chrono::milliseconds Turnaround);
// Through a gateway, whose RS485 rate is not known here: the line time at the slowest
// settings a module offers (2400 8E2), the turnaround, and the network's round trip.
// 85 + 50 + 100 = 235 ms.
std::chrono::milliseconds GatewayScanReceiveTimeout(std::chrono::milliseconds Turnaround);

struct FoundStation {
    std::uint8_t Address = 0;
    RtuSettings Settings;
    std::optional<std::uint32_t> SerialNumber;  // from a normal reply
    std::uint8_t ExceptionCode = 0;             // from an exception reply: the code received
    ModuleLink Link{};  // through a gateway the texts name it in place of the settings
    // "Modulo trovato all'indirizzo 203 con 2400 8O2, matricola 12345678", "Modulo
    // trovato all'indirizzo 203 tramite il gateway 192.168.1.20:502, matricola 12345678"
    std::string Text() const;
};

enum class DisturbanceKind {
    Echo,          // the request came back (before a reply, or on its own)
    StrayBytes,    // bytes that are no frame, before, after or instead of a reply
    DamagedReply,  // a reply for the address tried with a wrong CRC, or cut short
    ForeignFrame,  // a frame with a good CRC that does not answer the request
    TwoStations,   // two complete replies to one request: two stations share the address
};

struct LineDisturbance {
    DisturbanceKind Kind = DisturbanceKind::StrayBytes;
    std::uint8_t Address = 0;  // the address tried
    RtuSettings Settings;
    std::vector<std::uint8_t> Bytes;  // everything received for that request, as received
    std::uint8_t FrameAddress = 0;    // ForeignFrame: the address the frame carries
    // TwoStations: the serial numbers of the two replies, where they are normal ones.
    std::optional<std::uint32_t> Serial, SecondSerial;
    ModuleLink Link{};
    // "Byte estranei all'indirizzo 5 con 9600 8N1: 7F237E"
    std::string Text() const;
};

struct ScanProgress {
    RtuSettings Settings;  // being tried
    int Address = 0;       // being tried
    int Done = 0;          // candidates finished
    int Total = 0;
    std::chrono::seconds TimeLeft{0};  // estimated
    ModuleLink Link{};
    // "Prova 17 di 247: indirizzo 17 con 9600 8N1, tempo residuo 0:18"
    std::string Text() const;
};

struct ScanResult {
    std::vector<FoundStation> Stations;
    std::vector<LineDisturbance> Disturbances;
    std::vector<RtuSettings> Settings;  // as searched
    int FirstAddress = 1, LastAddress = 247;
    int Done = 0, Total = 0;
    bool Cancelled = false;
    std::string Error;  // why the search stopped early, besides a cancel
    // The gateway could not be reached at all (refused, unreachable, no answer to the
    // connect): Error says so in its words, and no address was tried.
    bool Unreachable = false;
    ModuleLink Link{};  // as searched
    // The summary for the log: a headline ("Nessun modulo trovato con 9600 8N1 agli
    // indirizzi 1-247", "Ricerca annullata dopo 120 prove di 247", ...), the stations
    // found, then the disturbances, those of one kind in one line.
    std::vector<std::string> Lines() const;
};

class ModuleScanner {
public:
    explicit ModuleScanner(platform::UiDispatcher* Dispatcher = nullptr);
    ~ModuleScanner();  // closes the port; no event follows
    ModuleScanner(const ModuleScanner&) = delete;
    ModuleScanner& operator=(const ModuleScanner&) = delete;

    // Opens the port and starts the search; the events follow on the UI thread. Raises
    // std::invalid_argument for an empty settings list on a serial port or an address
    // range outside 1-247, std::logic_error while a search runs, and the connection's
    // EFieldwireError when the port cannot be opened or the gateway's name resolved (then
    // no event follows). A gateway that refuses or does not answer ends the search with
    // Unreachable set.
    void Start(const ScanOptions& Options);
    // Ends the search once the candidate being tried is answered (at most one receive
    // time-out, two when a station was just found), then closes the port and raises
    // OnFinished with Cancelled set. Does nothing when no search runs.
    void Cancel();
    // From Start until the port is closed, just before OnFinished.
    bool Busy() const { return FBusy; }
    const std::string& Port() const { return FOptions.Port; }
    // After Start failed to open the port: the system error of the attempt, for
    // PortOpenFailureText (0 when none is known).
    int PortError() { return FProbe.OpenError(); }

    // Before each candidate.
    std::function<void(const ScanProgress&)> OnProgress;
    std::function<void(const FoundStation&)> OnStationFound;
    std::function<void(const LineDisturbance&)> OnDisturbance;
    // Last: the port is closed by then, and a new search may be started from here.
    std::function<void(const ScanResult&)> OnFinished;

private:
    struct Candidate {
        const RtuSettings* Settings;
        std::uint8_t Address;
    };
    Candidate At(int Index) const;
    void Step();
    void FirstAnswer(const StationProbe::Outcome& O);
    void SecondAnswer(const StationProbe::Outcome& First, const StationProbe::Outcome& Second);
    // The candidate is done: on to the next one, unless this was the station sought.
    void Next(bool Found);
    // Keeps what an answer showed; true when it was a station.
    bool Book(const StationProbe::Outcome& O);
    void AddDisturbance(const StationProbe::Outcome& O, DisturbanceKind Kind);
    // The port went away, or the gateway's connection failed.
    void LineLost();
    void Finish(std::string Error = {});
    std::chrono::milliseconds ExpectedTime(const RtuSettings& Settings) const;
    std::chrono::seconds TimeLeft() const;

    StationProbe FProbe;
    ScanOptions FOptions;
    ScanResult FResult;
    bool FBusy = false;
    bool FCancel = false;
    int FIndex = 0;  // the candidate being tried
    std::chrono::steady_clock::time_point FStarted;
    std::chrono::milliseconds FExpectedDone{0};  // the expected time of the candidates done
};

}  // namespace veltro::core
