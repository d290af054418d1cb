// The module's stored line settings ("9600 8N1") as the configuration page reads them
// back from the meter, where any text may come. The parser must keep only parts that
// fit, in order, each a position in its label table, and a text it accepts must be the
// one the writer produces for the same positions.

#include "core/Common.h"
#include "core/SerialSettingsText.h"
#include "link/LinkClasses.h"

#include <cstdint>
#include <cstdlib>
#include <optional>
#include <string>

using namespace veltro::core;

namespace {

void Check(bool Condition)
{
    if (!Condition)
        std::abort();
}

template <typename Table>
void CheckIndex(const std::optional<int>& Index, const Table& Labels)
{
    if (Index)
        Check(*Index >= 0 && static_cast<std::size_t>(*Index) < Labels.size());
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* Data, std::size_t Size)
{
    using namespace veltro::link;
    const std::string Text(reinterpret_cast<const char*>(Data), Size);
    SerialSettingsIndices Parsed;
    const bool Ok = ParseSerialSettingsText(Text, Parsed);

    // Parts are read in order: none is kept without the ones before it.
    Check(!Parsed.dataBits || Parsed.baud);
    Check(!Parsed.parity || Parsed.dataBits);
    Check(!Parsed.stopBits || Parsed.parity);
    Check(Ok == Parsed.stopBits.has_value());
    CheckIndex(Parsed.baud, LinkBaudNames);
    CheckIndex(Parsed.dataBits, LinkDataBitsNames);
    CheckIndex(Parsed.parity, LinkParityLetters);
    CheckIndex(Parsed.stopBits, LinkStopBitsNames);
    if (!Ok)
        return 0;

    const std::string Written = SerialSettingsToText(*Parsed.baud, *Parsed.dataBits, *Parsed.parity, *Parsed.stopBits);
    Check(SameTextIgnoringCase(Written, Text));
    SerialSettingsIndices Again;
    Check(ParseSerialSettingsText(Written, Again));
    Check(Again.baud == Parsed.baud && Again.dataBits == Parsed.dataBits && Again.parity == Parsed.parity &&
          Again.stopBits == Parsed.stopBits);
    return 0;
}
