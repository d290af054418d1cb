#pragma once
// ModuleSim: the Modbus module fitted to the simulated meter. A Modbus RTU server built
// on the library's own server mode: a connection in cmServer on the module's line and a
// server object that answers function 3 on holding registers 0..175 with a live meter
// (ModuleModel). It answers at the address and with the line settings the meter holds in
// "0.0.7" and "0.0.8" (SimState), and follows changes of them while it runs.
//
// A second station may share the line: another module with its own address and serial
// number. At an address of its own it answers alone; at the module's address both answer,
// the second right after the module (as a station with a longer turnaround would).
//
// The connection hands every request to "the UI thread" for dispatch. Here that is the
// module's own thread running its own ManualUiDispatcher, so the module never depends on
// a dispatcher of the process (a window under test runs the Qt one in the same process).

#include "modbus/LineSettings.h"
#include "simulator/ModuleLine.h"
#include "simulator/SimState.h"

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>

namespace veltro::sim {

struct SecondStation {
    int address = 1;  // 1..247
    std::string serialNumber = "23456789";
};

class ModuleSim {
public:
    explicit ModuleSim(SimState& state);
    ~ModuleSim();  // stops
    ModuleSim(const ModuleSim&) = delete;
    ModuleSim& operator=(const ModuleSim&) = delete;

    void SetFaults(const ModuleFaults& faults);
    ModuleFaults Faults() const;
    // Takes effect at the next Start.
    void SetSecondStation(std::optional<SecondStation> station);
    // Takes effect at the next Start: the same module also serves a TCP endpoint
    // ("127.0.0.1:5020"), as a gateway in front of it would, passing RTU frames as they are
    // (ltRtuOverTcp) or speaking Modbus TCP (ltModbusTcp). With gatewayDead the gateway
    // cannot reach the module and answers every request with exception 0x0B.
    struct TcpService {
        std::string endpoint;
        modbus::TLinkType link = modbus::ltModbusTcp;
        bool gatewayDead = false;
    };
    void ServeTcp(std::optional<TcpService> service);

    // Publishes the line as portDir/COM<comNumber> and starts serving it; returns once
    // the module listens. With `pace` replies take the time the line's settings give them
    // (SimPort). Throws std::runtime_error when the line cannot be published or the
    // connection cannot be opened. Starting a running module does nothing. With
    // `lineEchoes` the line returns what the module sends, and the module drops it.
    void Start(const std::string& portDir, int comNumber, bool pace = false, const std::string& device = {},
               bool lineEchoes = false);
    // Closes the connection, ends the module's thread and withdraws the line.
    void Stop();
    bool Running() const { return thread_.joinable(); }

    // While running: the device a client opens (it changes after a hang-up fault).
    std::string SlavePath() const;
    // The address and line settings the module currently serves with (0 / defaults
    // before the first start).
    int Address() const { return address_.load(); }
    ModuleLineSettings LineSettings() const;
    // Requests the module answered or refused (so not the ignored ones).
    uint64_t RequestsHandled() const { return handled_.load(); }
    // The line, while running (for its fault counters); nullptr otherwise.
    const ModuleLine* Line() const { return line_.get(); }

private:
    class Server;
    struct Runtime;

    void Run(std::shared_ptr<Runtime> runtime);

    SimState& state_;
    mutable std::mutex mutex_;  // faults_, settings_, second_
    ModuleFaults faults_;
    std::optional<SecondStation> second_;
    std::optional<TcpService> tcp_;
    ModuleLineSettings settings_;
    std::atomic<int> address_{0};
    std::atomic<uint64_t> handled_{0};
    std::atomic<bool> quit_{false};
    bool lineEchoes_ = false;

    std::unique_ptr<ModuleLine> line_;
    std::shared_ptr<Runtime> runtime_;
    std::thread thread_;
};

}  // namespace veltro::sim
