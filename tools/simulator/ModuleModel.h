#pragma once
// ModuleModel: what the simulated module measures, as its holding registers 0..175 carry
// it. A three-phase load on a 230 V / 50 Hz network: each phase has its own current and
// lag, voltages and frequency wander a little, powers follow from them, energy totals
// integrate the powers since the model started, the clock is the local time and the two
// load-profile records are stamped on the last completed quarter hour.
//
// The registers are built with the register-word encoding of the monitoring page
// (app/RegisterWords.h) at the positions of its map (app/ModuleRegisters.h), so the
// module and the page cannot disagree about either.

#include <array>
#include <chrono>
#include <cstdint>
#include <random>

namespace veltro::sim {

struct PhaseValues {
    double voltage;       // V
    double voltageAngle;  // degrees: L1 0, L2 120, L3 240
    double current;       // A
    double currentAngle;  // degrees, relative to the phase's own voltage; positive = lagging
};

// One consistent set of values: every register of one request comes from one snapshot.
struct ModuleSnapshot {
    uint32_t serialNumber = 0;
    std::chrono::system_clock::time_point now;
    std::array<PhaseValues, 3> phases{};
    double frequency = 0;     // Hz
    double activePower = 0;   // kW, sum of the phases
    double reactivePower = 0; // kvar
    double apparentPower = 0; // kVA, sum of the phases' apparent powers
    double cosPhi = 0;        // activePower / apparentPower
    // kWh, kvarh, kVAh in the order of the totals table: A+, A-, Q+, Q-, Q1, Q2, Q3, Q4, S+, S-.
    std::array<double, 10> totals{};
    // Load profiles, both stamped on the last completed quarter hour: "P.01" holds the
    // energy registers A+, A-, Q1..Q4 at that moment, "P.02" the mean voltages and
    // currents of L1..L3 over that quarter hour.
    std::chrono::system_clock::time_point profileStamp;
    std::array<double, 6> profile1{};
    std::array<double, 6> profile2{};
};

class ModuleModel {
public:
    static constexpr size_t kRegisterCount = 176;
    using Registers = std::array<uint16_t, kRegisterCount>;

    // Energy totals start from fixed readings at `start` (a meter already in service).
    explicit ModuleModel(std::chrono::steady_clock::time_point start = std::chrono::steady_clock::now(),
                         uint32_t seed = 1);

    // The values at `elapsed` since the start; `wallClock` is what the meter clock shows.
    ModuleSnapshot Snapshot(uint32_t serialNumber, std::chrono::steady_clock::time_point at,
                            std::chrono::system_clock::time_point wallClock);
    static Registers Encode(const ModuleSnapshot& snapshot);

    // The nominal load, without the noise: currents and lags of L1..L3.
    static constexpr std::array<double, 3> kNominalCurrent = {5.2, 4.1, 6.3};
    static constexpr std::array<double, 3> kNominalLag = {25.0, 32.0, 18.0};
    static constexpr double kNominalVoltage = 230.0;
    static constexpr double kNominalFrequency = 50.0;

private:
    std::chrono::steady_clock::time_point start_;
    std::mt19937 noise_;
};

}  // namespace veltro::sim
