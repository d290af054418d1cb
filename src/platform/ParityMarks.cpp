#include "platform/ParityMarks.h"

namespace veltro::platform {

void ParityMarkDecoder::Decode(const uint8_t* raw, size_t count, std::vector<uint8_t>& out, LineErrors& errors)
{
    for (size_t i = 0; i < count; ++i) {
        const uint8_t b = raw[i];
        switch (state_) {
        case State::Data:
            if (b == 0xFF)
                state_ = State::Escape;
            else
                out.push_back(b);
            break;
        case State::Escape:
            if (b == 0x00) {
                state_ = State::Marked;
                break;
            }
            // 0xFF 0xFF is one 0xFF; nothing else may follow an escape, but if a driver
            // does it anyway, the escape is taken as the data byte it most likely was.
            out.push_back(0xFF);
            state_ = State::Data;
            if (b != 0xFF)
                out.push_back(b);
            break;
        case State::Marked:
            // The mark does not tell a parity error from a framing error; either spoils
            // the frame the same way. The damaged character is kept, so nothing that
            // arrived goes missing from the count.
            if (b == 0x00) {
                ++errors.breaks;
            } else {
                ++errors.parity;
                out.push_back(b);
            }
            state_ = State::Data;
            break;
        }
    }
}

}  // namespace veltro::platform
