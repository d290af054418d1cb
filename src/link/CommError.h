#pragma once
// ECommError: every failure of the serial port component. The message is the text
// followed by " (Error: %d) " with the system error code (-1 when there is none).

#include <cstdint>
#include <stdexcept>
#include <string>

namespace veltro::link {

class ECommError : public std::runtime_error {
public:
    ECommError(const std::string& text, int32_t code)
        : std::runtime_error(text + " (Error: " + std::to_string(code) + ") "), ErrorCode(code)
    {
    }
    int32_t ErrorCode;
};

[[noreturn]] inline void RaiseCommError(const std::string& text, int32_t code)
{
    throw ECommError(text, code);
}

}  // namespace veltro::link
