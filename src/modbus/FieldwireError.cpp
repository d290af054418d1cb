#include "modbus/FieldwireError.h"

#include <initializer_list>

namespace veltro::modbus::messages {

namespace {

std::string Fill(const char* Format, std::initializer_list<long long> Values)
{
    std::string Result;
    auto Next = Values.begin();
    for (const char* P = Format; *P != '\0'; ++P) {
        if (P[0] == '%' && P[1] == 'd' && Next != Values.end()) {
            Result += std::to_string(*Next++);
            ++P;
        } else {
            Result += *P;
        }
    }
    return Result;
}

} // namespace

std::string FormatMessage(const char* Format, int A) { return Fill(Format, {A}); }
std::string FormatMessage(const char* Format, int A, int B) { return Fill(Format, {A, B}); }
std::string FormatMessage(const char* Format, long long A, long long B) { return Fill(Format, {A, B}); }

} // namespace veltro::modbus::messages
