#pragma once
// A write is done only when a read-back finds what was written: a meter that took the
// write and kept another value (or a module that refused it) must not pass for configured.

#include "core/ConfigRun.h"

#include <string>

namespace veltro::cli {

// Why the values a read-back found are not the ones written, in Italian; empty when they
// are. A blank address or settings text on either side is the automatic address or the
// default settings; values are compared for what they mean ("05" is 5).
std::string ReadBackMismatch(const core::ConfigToWrite& written, const core::ConfigRunResult& readBack);

}  // namespace veltro::cli
