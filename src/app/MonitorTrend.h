#pragma once
// What the trend chart of "Controllo" gets of a finished poll cycle: the values it can
// follow, each missing when its block failed in that cycle.

#include "core/ModuleValues.h"
#include "trend/TrendHistory.h"

namespace veltro::app {

trend::TrendCycle TrendCycleOf(const core::ModuleValues& cycle, trend::TrendTime time);

}  // namespace veltro::app
