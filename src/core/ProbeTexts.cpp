#include "core/ProbeTexts.h"

#include "core/Common.h"

#include <algorithm>
#include <cstdio>

namespace veltro::core {

std::string AddressAndSettings(int Address, const RtuSettings& Settings)
{
    return "all'indirizzo " + std::to_string(Address) + " con " + Settings.Text();
}

std::string ShortHex(std::span<const std::uint8_t> Bytes)
{
    constexpr size_t kShown = 32;
    if (Bytes.size() <= kShown)
        return BytesToHex(Bytes);
    return BytesToHex(Bytes.first(kShown)) + "...";
}

std::string SerialPair(const std::optional<std::uint32_t>& First, const std::optional<std::uint32_t>& Second)
{
    if (First && Second)
        return " (matricole " + std::to_string(*First) + " e " + std::to_string(*Second) + ")";
    if (First || Second)
        return " (matricola " + std::to_string(First ? *First : *Second) + ")";
    return {};
}

std::string DurationText(std::chrono::seconds Time)
{
    const long Total = std::max<long>(static_cast<long>(Time.count()), 0);
    char Text[32];
    if (Total >= 3600)
        std::snprintf(Text, sizeof Text, "%ld:%02ld:%02ld", Total / 3600, Total / 60 % 60, Total % 60);
    else
        std::snprintf(Text, sizeof Text, "%ld:%02ld", Total / 60, Total % 60);
    return Text;
}

std::string SearchScope(const std::vector<RtuSettings>& Settings, int FirstAddress, int LastAddress)
{
    return SearchScope(Settings, FirstAddress, LastAddress, ModuleLink{});
}

std::string SearchScope(const std::vector<RtuSettings>& Settings, int FirstAddress, int LastAddress,
                        const ModuleLink& Link)
{
    std::string Scope;
    if (Link.Tcp())
        Scope = "tramite " + Link.Text();
    else
        Scope = "con " + (Settings.size() == 1 ? Settings.front().Text()
                                               : std::to_string(Settings.size()) + " impostazioni di linea");
    if (FirstAddress == LastAddress)
        return Scope + " all'indirizzo " + std::to_string(FirstAddress);
    return Scope + " agli indirizzi " + std::to_string(FirstAddress) + "-" + std::to_string(LastAddress);
}

}  // namespace veltro::core
