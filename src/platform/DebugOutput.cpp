#include "DebugOutput.h"

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <string>

namespace veltro::platform {

namespace {
std::mutex g_mutex;
DebugSink g_sink;
std::atomic<bool> g_enabled{std::getenv("VELTRO_DEBUG_OUTPUT") == nullptr
                            || std::string_view(std::getenv("VELTRO_DEBUG_OUTPUT")) != "0"};
}  // namespace

void DebugOutput(std::string_view text)
{
    if (!g_enabled)
        return;
    std::lock_guard lock(g_mutex);
    if (g_sink) {
        g_sink(text);
        return;
    }
    std::string line(text);
    line += '\n';
    std::fwrite(line.data(), 1, line.size(), stderr);
}

DebugSink SetDebugSink(DebugSink sink)
{
    std::lock_guard lock(g_mutex);
    std::swap(g_sink, sink);
    return sink;
}

void SetDebugOutputEnabled(bool enabled)
{
    g_enabled = enabled;
}

}  // namespace veltro::platform
