// The ASCII frame scanner sees the line in whatever chunks the driver hands over. However
// the characters are split, it must find the same frame as one pass over the whole stream,
// never write outside the collected bytes, and only ever report a complete ':' ... CR LF.

#include "modbus/AsciiScanner.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

using veltro::modbus::TAsciiScanner;

namespace {

void Check(bool Condition)
{
    if (!Condition)
        std::abort();
}

struct Expected {
    bool Complete = false;
    bool Open = false;
    std::vector<std::uint8_t> Frame;
};

// One pass, character by character: the frame is everything from the last ':' up to the
// first CR LF behind it; a CR followed by anything else abandons the frame.
Expected Reference(const std::uint8_t* S, std::size_t N)
{
    int State = 0;
    std::size_t Start = 0;
    for (std::size_t I = 0; I < N; ++I) {
        const std::uint8_t C = S[I];
        if (C == ':') {
            Start = I;
            State = 1;
        } else if (State == 1 && C == '\r') {
            State = 2;
        } else if (State == 2) {
            if (C != '\n') {
                State = 0;
                continue;
            }
            return {true, false, std::vector<std::uint8_t>(S + Start, S + I + 1)};
        }
    }
    if (State == 0)
        return {};
    return {false, true, std::vector<std::uint8_t>(S + Start, S + N)};
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* Data, std::size_t Size)
{
    if (Size < 1)
        return 0;
    // Byte 0 seeds the chunk sizes (1..16, varying); the rest is the line.
    unsigned Seed = Data[0];
    const std::uint8_t* Line = Data + 1;
    const std::size_t N = Size - 1;

    // A guard byte behind the buffer catches writes past what was read in.
    std::vector<std::uint8_t> Dest(N + 1, 0xEE);
    TAsciiScanner Scanner;
    std::int32_t Got = 0;
    std::size_t Fed = 0;
    while (Fed < N && !Scanner.Complete()) {
        Seed = Seed * 1103515245u + 12345u;
        const std::size_t Chunk = std::min<std::size_t>(1 + (Seed >> 16) % 16, N - Fed);
        std::memcpy(Dest.data() + Got, Line + Fed, Chunk);
        Got = Scanner.Scan(Dest.data(), Got, static_cast<std::int32_t>(Chunk));
        Fed += Chunk;
        Check(Got >= 0 && static_cast<std::size_t>(Got) <= Fed);
        Check(Dest[N] == 0xEE);
        Check((Got == 0) == (Scanner.State() == TAsciiScanner::ssSeekColon));
    }

    const Expected Want = Reference(Line, N);
    Check(Scanner.Complete() == Want.Complete);
    Check(Scanner.InFrame() == Want.Open);
    Check(static_cast<std::size_t>(Got) == Want.Frame.size());
    // An empty reference frame has no data pointer, and memcmp must not be given none.
    Check(Want.Frame.empty() || std::memcmp(Dest.data(), Want.Frame.data(), Want.Frame.size()) == 0);
    if (Scanner.Complete()) {
        Check(Got >= 3 && Dest[0] == ':' && Dest[Got - 2] == '\r' && Dest[Got - 1] == '\n');
        Check(std::memchr(Dest.data() + 1, ':', static_cast<std::size_t>(Got - 1)) == nullptr);
    }
    return 0;
}
