#pragma once
// Simulator: the simulated devices on their lines, each served by its own thread, with
// one shared state. Tests start and stop it in-process; veltro-sim runs it until it is
// told to end.

#include "simulator/MeterSim.h"
#include "simulator/ModuleSim.h"
#include "simulator/SimPort.h"
#include "simulator/SimState.h"

#include <memory>
#include <string>
#include <thread>

namespace veltro::sim {

struct SimulatorOptions {
    std::string portDir;  // where COMn entries are published; must exist
    int meterPort = 1;    // the meter's line is COM<meterPort>
    bool pace = false;    // replies take the time the real lines would (SimPort)
    int modulePort = 2;   // the module's line is COM<modulePort>; 0 leaves the module out
    // Real serial devices to serve instead of pseudo-terminals (empty: a published pty).
    std::string meterDevice{};
    std::string moduleDevice{};
    // The module's real device returns what the module sends (two-wire RS485 without echo
    // suppression); the module then drops that echo instead of taking it for a request.
    bool moduleDeviceEchoes = false;
};

class Simulator {
public:
    explicit Simulator(SimulatorOptions options);
    ~Simulator();  // stops
    Simulator(const Simulator&) = delete;
    Simulator& operator=(const Simulator&) = delete;

    // Publishes the lines and starts serving them; throws std::runtime_error when a
    // line cannot be created or published, or both devices were given the same port.
    // Starting a running simulator does nothing.
    void Start();
    // Ends every wait of the serving threads, joins them and withdraws the lines.
    // Returns promptly, whatever a device was doing; safe to call more than once.
    void Stop();
    bool Running() const { return meterThread_.joinable(); }

    SimState& State() { return state_; }
    MeterSim& Meter() { return meter_; }
    // The meter's line while running, else nullptr.
    SimPort* MeterPort() { return meterPort_.get(); }
    // The module; its faults may be switched while it runs.
    ModuleSim& Module() { return module_; }
    void SetModuleFaults(const ModuleFaults& faults) { module_.SetFaults(faults); }
    // The device of the module's line while running, else empty.
    std::string ModulePath() const { return module_.SlavePath(); }
    const SimulatorOptions& Options() const { return options_; }

private:
    SimulatorOptions options_;
    SimState state_;
    MeterSim meter_{state_};
    ModuleSim module_{state_};
    std::unique_ptr<SimPort> meterPort_;
    std::thread meterThread_;
};

}  // namespace veltro::sim
