#include "trend/TrendQuantity.h"

namespace veltro::trend {

namespace {
// In the order of Quantity.
constexpr std::array<QuantityInfo, kQuantityCount> kInfos{{
    {"P", "Potenza attiva", "kW", Scale::Power},
    {"Q", "Potenza reattiva", "kvar", Scale::Power},
    {"S", "Potenza apparente", "kVA", Scale::Power},
    {"I1", "Corrente L1", "A", Scale::Current},
    {"I2", "Corrente L2", "A", Scale::Current},
    {"I3", "Corrente L3", "A", Scale::Current},
    {"U1", "Tensione L1", "V", Scale::Voltage},
    {"U2", "Tensione L2", "V", Scale::Voltage},
    {"U3", "Tensione L3", "V", Scale::Voltage},
    {"PF", "cos \u03c6", "", Scale::PowerFactor},
    {"F", "Frequenza", "Hz", Scale::Frequency},
}};
}  // namespace

const QuantityInfo& InfoOf(Quantity q) { return kInfos.at(IndexOf(q)); }

std::optional<Quantity> QuantityFromKey(std::string_view key) {
    for (Quantity q : kAllQuantities)
        if (InfoOf(q).key == key) return q;
    return std::nullopt;
}

std::string_view ScaleName(Scale scale) {
    switch (scale) {
    case Scale::Power: return "Potenza";
    case Scale::Current: return "Corrente";
    case Scale::Voltage: return "Tensione";
    case Scale::PowerFactor: return "cos \u03c6";
    case Scale::Frequency: return "Frequenza";
    }
    return {};
}

}  // namespace veltro::trend
