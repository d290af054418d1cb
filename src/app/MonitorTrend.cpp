#include "app/MonitorTrend.h"

namespace veltro::app {

trend::TrendCycle TrendCycleOf(const core::ModuleValues& cycle, trend::TrendTime time)
{
    using trend::Quantity;
    trend::TrendCycle out;
    out.time = time;
    if (const auto& m = cycle.meter) {
        out.Set(Quantity::ActivePower, m->activePower);
        out.Set(Quantity::ReactivePower, m->reactivePower);
        out.Set(Quantity::ApparentPower, m->apparentPower);
        out.Set(Quantity::CosPhi, m->cosPhi);
        out.Set(Quantity::Frequency, m->frequency);
    }
    if (const auto& p = cycle.phases) {
        constexpr Quantity currents[3] = {Quantity::CurrentL1, Quantity::CurrentL2, Quantity::CurrentL3};
        constexpr Quantity voltages[3] = {Quantity::VoltageL1, Quantity::VoltageL2, Quantity::VoltageL3};
        for (size_t i = 0; i < 3; ++i) {
            out.Set(currents[i], p->currents[i]);
            out.Set(voltages[i], p->voltages[i]);
        }
    }
    return out;
}

}  // namespace veltro::app
