#pragma once
// The job record of every finished "1. Leggi" and "2. Scrivi" run. When no record can be
// written, the reason goes under the run's log in its memo: the run's result, its log
// and the values it filled in stay as they are, and no box stops the technician.

#include "core/ConfigRun.h"

namespace veltro::app {

using core::ConfigRunResult;

class PageConfig;

// Writes the record of the run that just ended, from the page as the run left it.
void RecordRun(PageConfig& page, const ConfigRunResult& run);

}  // namespace veltro::app
