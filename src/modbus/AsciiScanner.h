#pragma once

#include <cstdint>

namespace veltro::modbus {

// Finds one Modbus ASCII frame (':' ... CR LF) in the characters of a line as they arrive,
// chunk by chunk. A ':' always starts a new frame, whatever came before: a station that
// restarts its frame mid-way sends a new colon, and what came before it is a broken frame.
// A CR that is not followed by LF abandons the frame. Noise outside a frame is skipped.
//
// The collected frame is kept at the start of the caller's buffer: each chunk is read in
// right behind what was collected so far, and Scan moves a frame that started inside the
// chunk to the front. Pure computation, no port.
class TAsciiScanner {
public:
    enum TState {
        ssSeekColon = 0, // outside a frame
        ssInFrame = 1,   // after ':'
        ssCrSeen = 2,    // after CR, expecting LF
        ssComplete = 3   // ':' ... CR LF collected; later characters are ignored
    };

    // Scans the Count characters at Data[Collected ..]; Collected is what the previous call
    // returned (0 at the start). Returns the length of the frame now at Data[0 ..]: 0 while
    // no frame is open. Characters after a completed frame are not looked at.
    std::int32_t Scan(std::uint8_t* Data, std::int32_t Collected, std::int32_t Count);

    TState State() const { return FState; }
    bool Complete() const { return FState == ssComplete; }
    bool InFrame() const { return FState == ssInFrame || FState == ssCrSeen; }
    void Reset() { FState = ssSeekColon; }

private:
    TState FState = ssSeekColon;
};

} // namespace veltro::modbus
