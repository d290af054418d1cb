// The polled quantities the trend chart can follow: a stable key (settings and files may
// hold it), the Italian name the chart shows, the unit the module sends the value in and
// the value scale it is drawn against. Free of any toolkit.
#pragma once

#include <array>
#include <cstddef>
#include <optional>
#include <string_view>

namespace veltro::trend {

enum class Quantity : unsigned char {
    ActivePower,
    ReactivePower,
    ApparentPower,
    CurrentL1,
    CurrentL2,
    CurrentL3,
    VoltageL1,
    VoltageL2,
    VoltageL3,
    CosPhi,
    Frequency,
};

inline constexpr std::size_t kQuantityCount = 11;

inline constexpr std::array<Quantity, kQuantityCount> kAllQuantities{
    Quantity::ActivePower, Quantity::ReactivePower, Quantity::ApparentPower, Quantity::CurrentL1,
    Quantity::CurrentL2,   Quantity::CurrentL3,     Quantity::VoltageL1,     Quantity::VoltageL2,
    Quantity::VoltageL3,   Quantity::CosPhi,        Quantity::Frequency,
};

constexpr std::size_t IndexOf(Quantity q) { return static_cast<std::size_t>(q); }

// Quantities drawn against one value axis. The three powers share one although their
// units differ in name: kW, kvar and kVA are all thousands of volt-amperes, and P and Q
// are only read sensibly against S on a common scale.
enum class Scale : unsigned char { Power, Current, Voltage, PowerFactor, Frequency };

struct QuantityInfo {
    std::string_view key;
    std::string_view label;  // UTF-8
    std::string_view unit;   // UTF-8; empty for the power factor, which has none
    Scale scale;
};

const QuantityInfo& InfoOf(Quantity q);
std::optional<Quantity> QuantityFromKey(std::string_view key);

// The Italian name of a scale; the chart adds the units shown on it for the axis title.
std::string_view ScaleName(Scale scale);

}  // namespace veltro::trend
