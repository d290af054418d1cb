#include "cli/ReadBack.h"

#include "core/Common.h"
#include "core/RtuSettings.h"

#include <optional>

namespace veltro::cli {

namespace {

std::string Trimmed(const std::string& text)
{
    const size_t first = text.find_first_not_of(' ');
    if (first == std::string::npos)
        return {};
    return text.substr(first, text.find_last_not_of(' ') - first + 1);
}

std::string Shown(const std::string& value, const char* blank)
{
    return value.empty() ? blank : value;
}

bool SameAddress(const std::string& a, const std::string& b)
{
    int32_t x = 0, y = 0;
    if (a.empty() || b.empty())
        return a.empty() && b.empty();
    return core::TryStrToInt(a, x) && core::TryStrToInt(b, y) ? x == y : a == b;
}

bool SameSettings(const std::string& a, const std::string& b)
{
    if (a.empty() || b.empty())
        return a.empty() && b.empty();
    const std::optional<core::RtuSettings> x = core::ParseRtuSettings(a), y = core::ParseRtuSettings(b);
    return x && y ? *x == *y : a == b;
}

}  // namespace

std::string ReadBackMismatch(const core::ConfigToWrite& written, const core::ConfigRunResult& readBack)
{
    const auto read = [&](const char* code) {
        const auto it = readBack.registers.find(code);
        return it == readBack.registers.end() ? std::optional<std::string>() : Trimmed(it->second);
    };
    std::string differences;
    const auto add = [&](const std::string& difference) {
        differences += (differences.empty() ? "" : "; ") + difference;
    };
    const std::optional<std::string> address = read(core::kModbusAddressCode);
    const std::string wroteAddress = Trimmed(written.address);
    if (!address)
        add("indirizzo server Modbus non riletto");
    else if (!SameAddress(*address, wroteAddress))
        add("indirizzo server Modbus letto: " + Shown(*address, "automatico") + ", scritto: " +
            Shown(wroteAddress, "automatico"));
    const std::optional<std::string> settings = read(core::kModbusSettingsCode);
    const std::string wroteSettings = Trimmed(written.settings);
    if (!settings)
        add("impostazioni RS485 non rilette");
    else if (!SameSettings(*settings, wroteSettings))
        add("impostazioni RS485 lette: " + Shown(*settings, "predefinite") + ", scritte: " +
            Shown(wroteSettings, "predefinite"));
    return differences.empty() ? std::string() : "La rilettura non conferma la scrittura: " + differences;
}

}  // namespace veltro::cli
