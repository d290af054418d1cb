#include "core/RtuSettings.h"

#include "core/Common.h"
#include "link/LinkClasses.h"
#include "modbus/ModbusConnection.h"

#include <algorithm>

namespace veltro::core {

namespace {

using namespace modbus;

std::optional<TBaudRate> RateOf(std::string_view Text)
{
    for (int r = br110; r < brCustom; ++r)
        if (std::to_string(BaudRateValue(static_cast<TBaudRate>(r), 0)) == Text)
            return static_cast<TBaudRate>(r);
    return std::nullopt;
}

template <typename T> bool Wanted(std::span<const T> Given, T Value)
{
    return Given.empty() || std::find(Given.begin(), Given.end(), Value) != Given.end();
}

}  // namespace

int RtuSettings::BitsPerCharacter() const
{
    return 1 + (DataBits == db7 ? 7 : 8) + (Parity == psNone ? 0 : 1) + (StopBits == sb2 ? 2 : 1);
}

std::chrono::milliseconds RtuSettings::LineTime(int Characters) const
{
    const std::uint64_t Bits = static_cast<std::uint64_t>(Characters) * static_cast<std::uint64_t>(BitsPerCharacter());
    const std::uint64_t Rate = std::max<std::uint32_t>(BitRate(), 1);
    return std::chrono::milliseconds((Bits * 1000 + Rate - 1) / Rate);
}

std::string RtuSettings::Text() const
{
    // The parity letters follow the enumeration's order: psNone, psOdd, psEven.
    return std::to_string(BitRate()) + " " + std::string(DataBitsName()) +
           std::string(link::LinkParityLetters[static_cast<size_t>(Parity)]) + std::string(StopBitsName());
}

std::string_view RtuSettings::ParityName() const
{
    return link::LinkParityNames[static_cast<size_t>(Parity)];
}

std::optional<RtuSettings> ParseRtuSettings(std::string_view Text)
{
    const size_t Blank = Text.find(' ');
    if (Blank == std::string_view::npos || Text.size() != Blank + 4)
        return std::nullopt;
    const std::string_view Format = Text.substr(Blank + 1);
    int Parity = 0;
    if (!FindTableValue(link::LinkParityLetters, link::LinkParityValues, Format.substr(1, 1), Parity))
        return std::nullopt;
    return RtuSettingsFromTexts(Text.substr(0, Blank), Format.substr(0, 1),
                                link::LinkParityNames[static_cast<size_t>(Parity)], Format.substr(2, 1));
}

std::optional<RtuSettings> RtuSettingsFromTexts(std::string_view Rate, std::string_view DataBits,
                                                std::string_view ParityName, std::string_view StopBits)
{
    RtuSettings S;
    const std::optional<TBaudRate> R = RateOf(Rate);
    int Parity = 0;
    if (!R || (DataBits != "7" && DataBits != "8") || (StopBits != "1" && StopBits != "2") ||
        !FindTableValue(link::LinkParityNames, link::LinkParityValues, ParityName, Parity))
        return std::nullopt;
    S.BaudRate = *R;
    S.DataBits = DataBits == "7" ? db7 : db8;
    S.Parity = static_cast<TParityScheme>(Parity);  // the names follow the enumeration's order
    S.StopBits = StopBits == "2" ? sb2 : sb1;
    return S;
}

void ApplyRtuSettings(TModbusConnection& Connection, const RtuSettings& Settings)
{
    Connection.SetBaudRate(Settings.BaudRate);
    Connection.SetDataBits(Settings.DataBits);
    Connection.SetParity(Settings.Parity);
    Connection.SetStopBits(Settings.StopBits);
}

std::vector<RtuSettings> ScanSettings(std::span<const TBaudRate> Rates, std::span<const TParityScheme> Parities,
                                      std::span<const TStopBits> StopBits)
{
    std::vector<RtuSettings> List;
    for (TStopBits Stop : ScanStopBits)
        for (TParityScheme Parity : ScanParities)
            for (TBaudRate Rate : ScanRates)
                if (Wanted(Rates, Rate) && Wanted(Parities, Parity) && Wanted(StopBits, Stop))
                    List.push_back({Rate, db8, Parity, Stop});
    return List;
}

}  // namespace veltro::core
