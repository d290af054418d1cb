#pragma once

#include <stdexcept>
#include <string>

namespace veltro::modbus {

// Every error the Modbus library raises, apart from the ASCII framing checks below.
class EFieldwireError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// The general assertion-failure error: raised when a received ASCII frame breaks the
// line framing (colon, odd length, CR LF), which is a broken line rather than a protocol reply.
class EAssertionFailed : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

namespace messages {

inline constexpr const char* SBufferNoSpace =
    "There is not enough space in the buffer to perform the requested action";
inline constexpr const char* SBufferPositionInvalid = "Buffer position is invalid (%d)";
inline constexpr const char* SBufferSizeInvalid = "Buffer size is invalid (%d)";
inline constexpr const char* SEncodeFrameFailed = "Failed to encode frame";
inline constexpr const char* SDecodeFrameFailed = "Failed to decode frame";
inline constexpr const char* SInternalError = "Internal error";
inline constexpr const char* SStartRegisterInvalid = "Starting register index is invalid (%d)";
inline constexpr const char* SRegisterIndexInvalid = "Register index is invalid (%d)";
inline constexpr const char* SRegisterCountRange = "Register count must be between 1 and %d";
inline constexpr const char* SNoActiveConnection = "There is no active connection";
inline constexpr const char* SClientMustBeDisconnected = "Client must be disconnected";
inline constexpr const char* SDiagnosticNotRecognized = "Diagnostic action was not recognized";
inline constexpr const char* SValueRange = "Value must be between %d and %d";
inline constexpr const char* SConnectionMustBeActive =
    "Connection MUST be active for the requested action to be performed";
inline constexpr const char* SConnectionMustNotBeActive =
    "Connection must NOT be active for the requested action to be performed";
inline constexpr const char* SCloseInHandOver =
    "Connection cannot be closed from inside a call its worker is waiting for";
inline constexpr const char* SOpenPortFailed = "Could not open serial port";
inline constexpr const char* SInitBuffersFailed = "Failed to initialize serial I/O buffers";
inline constexpr const char* SInitTimeoutsFailed = "Failed to initialize communication timeouts";
inline constexpr const char* SInitEventMaskFailed = "Failed to initialize serial event mask";
inline constexpr const char* SUpdateDcbFailed = "Failed to update device control block";

inline constexpr const char* SAsciiSizeTooSmall = "DecodeFrame: The size is too small.";
inline constexpr const char* SAsciiSizeNotOdd = "DecodeFrame: The size is not an odd number.";
inline constexpr const char* SAsciiColonMissing = "DecodeFrame: Leading colon is missing.";
inline constexpr const char* SAsciiCrMissing = "DecodeFrame: Trailing CR is missing.";
inline constexpr const char* SAsciiLfMissing = "DecodeFrame: Trailing LF is missing.";

// Fills each "%d" of Format, in order, with the given integers.
std::string FormatMessage(const char* Format, int A);
std::string FormatMessage(const char* Format, int A, int B);
// For limits beyond int, such as the 32-bit retry count.
std::string FormatMessage(const char* Format, long long A, long long B);

inline std::string BufferPositionInvalid(int P) { return FormatMessage(SBufferPositionInvalid, P); }
inline std::string BufferSizeInvalid(int S) { return FormatMessage(SBufferSizeInvalid, S); }
inline std::string StartRegisterInvalid(int I) { return FormatMessage(SStartRegisterInvalid, I); }
inline std::string RegisterIndexInvalid(int I) { return FormatMessage(SRegisterIndexInvalid, I); }
inline std::string RegisterCountRange(int Max) { return FormatMessage(SRegisterCountRange, Max); }
inline std::string ValueRange(long long Min, long long Max) { return FormatMessage(SValueRange, Min, Max); }

} // namespace messages

} // namespace veltro::modbus
