#pragma once
// The debugger channel: one diagnostic line per call. On Linux it goes to stderr unless
// a sink is installed (tests capture it) or it is switched off.

#include <functional>
#include <string_view>

namespace veltro::platform {

void DebugOutput(std::string_view text);

using DebugSink = std::function<void(std::string_view)>;
// Installs a sink that receives every line instead of stderr; returns the previous one.
DebugSink SetDebugSink(DebugSink sink);
void SetDebugOutputEnabled(bool enabled);

}  // namespace veltro::platform
