#pragma once
// Line errors on a driver that cannot count them. With PARMRK (and INPCK) the kernel
// marks them in the input itself: a character received with a parity or framing error
// arrives as 0xFF 0x00 c, a break as 0xFF 0x00 0x00, and a genuine 0xFF data byte is
// doubled to 0xFF 0xFF so that it cannot be taken for a mark. ParityMarkDecoder turns
// that stream back into the bytes that came and the errors that came with them.

#include "platform/SerialDevice.h"

#include <cstddef>
#include <cstdint>
#include <vector>

namespace veltro::platform {

class ParityMarkDecoder {
public:
    // Appends the received bytes of raw to out and counts the marked errors. A mark cut
    // off at the end of raw is kept and completed by the next call.
    void Decode(const uint8_t* raw, size_t count, std::vector<uint8_t>& out, LineErrors& errors);
    // Forgets a mark cut off halfway (the input was discarded).
    void Reset() { state_ = State::Data; }

private:
    enum class State { Data, Escape, Marked };
    State state_ = State::Data;
};

}  // namespace veltro::platform
