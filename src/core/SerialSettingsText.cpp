#include "core/SerialSettingsText.h"

#include "core/Common.h"
#include "link/LinkClasses.h"

namespace veltro::core {

bool ParseSerialSettingsText(std::string_view value, SerialSettingsIndices& out)
{
    using namespace link;
    const size_t blank = value.find(' ');
    if (blank == std::string_view::npos)
        return false;
    const std::string_view baud = value.substr(0, blank);
    const std::string_view format = value.substr(blank + 1);
    if (format.size() != 3)
        return false;
    int index = 0;
    if (!FindTableValue(LinkBaudNames, LinkBaudValues, baud, index))
        return false;
    out.baud = index;
    if (!FindTableValue(LinkDataBitsNames, LinkDataBitsValues, format.substr(0, 1), index))
        return false;
    out.dataBits = index;
    if (!FindTableValue(LinkParityLetters, LinkParityValues, format.substr(1, 1), index))
        return false;
    out.parity = index;
    if (!FindTableValue(LinkStopBitsNames, LinkStopBitsValues, format.substr(2, 1), index))
        return false;
    out.stopBits = index;
    return true;
}

std::string SerialSettingsToText(int baud, int dataBits, int parity, int stopBits)
{
    using namespace link;
    const auto at = [](auto table, int i) {
        return i >= 0 && static_cast<size_t>(i) < table.size() ? std::string(table[static_cast<size_t>(i)])
                                                                : std::string();
    };
    return at(LinkBaudNames, baud) + " " + at(LinkDataBitsNames, dataBits) + at(LinkParityLetters, parity) +
           at(LinkStopBitsNames, stopBits);
}

}  // namespace veltro::core
