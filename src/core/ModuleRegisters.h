#pragma once
// The module's holding-register map as the monitoring page reads it: three blocks
// polled in turn, and decoders that read one block's registers by position within the
// block. The simulated module builds its registers from the same map.

#include "core/RegisterWords.h"

#include <array>
#include <cstdint>
#include <optional>
#include <span>

namespace veltro::core {

struct RegisterBlockRange {
    uint16_t start;
    uint16_t count;
};
// Block 1: serial number, clock, totals, powers. Block 2: angles, currents, voltages.
// Block 3: one record of each load profile.
inline constexpr std::array<RegisterBlockRange, 3> kModuleBlocks = {{{0, 58}, {58, 58}, {116, 60}}};
inline constexpr uint16_t kModuleRegisterCount = 176;

// Block 1 positions
inline constexpr size_t kRegSerial = 0, kRegClockTime = 2, kRegClockDate = 5, kRegTotals = 8,
                        kRegCosPhi = 48, kRegFrequency = 50, kRegPowerA = 52, kRegPowerQ = 54, kRegPowerS = 56;
inline constexpr size_t kTotalCount = 10;
// Block 2 positions: current angles of L1..L3, voltage angles of L2 and L3, magnitudes.
inline constexpr size_t kRegCurrentAngle = 0, kRegVoltageAngle = 6;
inline constexpr std::array<size_t, 3> kRegCurrent = {10, 18, 26};
inline constexpr std::array<size_t, 3> kRegVoltage = {34, 42, 50};
// Block 3: two records of 30 registers: time, date, six channels.
inline constexpr size_t kProfileRecordSize = 30, kProfileChannels = 6;

struct MeterStamp {
    CivilDate date;
    ClockTime time;
};

// Reads values out of one block. A position past the registers received reads as 0, so
// a short reply can never read outside the buffer.
class RegisterBlock {
public:
    explicit RegisterBlock(std::span<const uint16_t> registers) : regs_(registers) {}

    uint16_t RegWord(size_t index) const;
    uint32_t RegLongWord(size_t index) const;
    // Floating-point values above 1e38, +INF and NaN count as 0: the module sends them
    // for quantities it does not have.
    double RegSingle(size_t index) const;
    double RegDouble(size_t index) const;
    // Hour, minute, second at timeIndex and year, month, day at dateIndex, when they
    // form a valid date and time.
    std::optional<MeterStamp> RegStamp(size_t timeIndex, size_t dateIndex) const;

private:
    std::span<const uint16_t> Words(size_t index, size_t count) const;
    std::span<const uint16_t> regs_;
};

}  // namespace veltro::core
