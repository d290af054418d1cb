#pragma once
// What the module's three blocks hold, decoded into numbers and dates before anything is
// formatted: the "Controllo" page shows them, the command line prints them, a recording
// writes them. One cycle of the poll is the three blocks in turn; a block that failed in
// a cycle has no values there.

#include "core/ModuleRegisters.h"

#include <array>
#include <cstdint>
#include <optional>
#include <span>

namespace veltro::core {

// Block 1: serial number, meter clock, the ten totals, power factor, frequency, powers.
struct MeterReadings {
    uint32_t serialNumber = 0;
    std::optional<MeterStamp> clock;       // absent when the registers hold no valid time
    std::array<double, kTotalCount> totals{};  // in the order of kTotalNames
    double cosPhi = 0;
    double frequency = 0;      // Hz
    double activePower = 0;    // as the module sends it: kW, kvar, kVA
    double reactivePower = 0;
    double apparentPower = 0;
};

// Block 2: each phase's current and voltage with their angles, in degrees; L1's voltage
// is the reference (0).
struct PhaseReadings {
    std::array<double, 3> currents{};       // A
    std::array<double, 3> voltages{};       // V
    std::array<double, 3> currentAngles{};  // degrees
    std::array<double, 3> voltageAngles{};  // degrees
};

// Block 3: one record of each load profile; a record without a valid stamp has no values.
struct ProfileRecord {
    std::optional<MeterStamp> stamp;
    std::array<double, kProfileChannels> channels{};
};
struct ProfileReadings {
    std::array<ProfileRecord, 2> records;
};

MeterReadings ReadMeterBlock(std::span<const uint16_t> registers);
PhaseReadings ReadPhaseBlock(std::span<const uint16_t> registers);
ProfileReadings ReadProfileBlock(std::span<const uint16_t> registers);

struct ModuleValues {
    std::optional<MeterReadings> meter;
    std::optional<PhaseReadings> phases;
    std::optional<ProfileReadings> profiles;
};

// The totals' register codes and their descriptions, in the order of the totals, then
// the three currents and the three voltages: the rows of the page's totals grid.
struct ValueName {
    const char* code;
    const char* description;
    const char* unit;
};
extern const std::array<ValueName, kTotalCount + 6> kTotalNames;

}  // namespace veltro::core
