#include "modbus/AsciiScanner.h"

#include <cstring>

namespace veltro::modbus {

std::int32_t TAsciiScanner::Scan(std::uint8_t* Data, std::int32_t Collected, std::int32_t Count)
{
    if (FState == ssComplete)
        return Collected;
    if (FState == ssSeekColon)
        Collected = 0; // nothing before a colon is kept
    std::int32_t Length = Collected;
    std::int32_t Start = -1; // where a frame started inside this chunk
    for (std::int32_t I = 0; I < Count && FState != ssComplete; ++I) {
        const std::uint8_t C = Data[Collected + I];
        if (C == ':') {
            Start = Collected + I;
            Length = 1;
            FState = ssInFrame;
            continue;
        }
        switch (FState) {
        case ssSeekColon:
            break;
        case ssInFrame:
            ++Length;
            if (C == '\r')
                FState = ssCrSeen;
            break;
        case ssCrSeen:
            if (C == '\n') {
                ++Length;
                FState = ssComplete;
            } else {
                FState = ssSeekColon;
                Length = 0;
                Start = -1;
            }
            break;
        case ssComplete:
            break;
        }
    }
    if (FState == ssSeekColon)
        return 0;
    if (Start > 0)
        std::memmove(Data, Data + Start, static_cast<std::size_t>(Length));
    return Length;
}

} // namespace veltro::modbus
