#pragma once
// TIec1107: the meter-side client of IEC 62056-21 protocol mode C. It signs on with the
// meter's communication identifier, selects programming mode, reads and writes data
// sets, sends the password and signs off, over a byte link the caller has connected.
// Every operation is synchronous, retries, and reports success as a Boolean; the
// failure details are kept in Errors (at most 20).

#include "link/Link.h"

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace veltro::link {

inline constexpr char NUL = 0x00, SOH = 0x01, STX = 0x02, ETX = 0x03, ACK = 0x06, LF = 0x0A,
                      CR = 0x0D;

class TIec1107 {
public:
    TIec1107();

    bool Connect(const std::string& ident);
    bool SwitchBaudRate();
    bool ReadValue(const std::string& code);
    void GetValueText(std::string& value) const;
    bool SetPassword(const std::string& password);
    bool WriteData(const std::string& code, const std::string& value);
    bool Disconnect();
    // Throws std::runtime_error("GetData(" + command + ")") if anything below it throws.
    bool GetData(const std::string& command);
    void SendCommand(const std::string& command);
    static uint8_t CalcBcc(const std::string& text);

    void SetRetries(int32_t value);
    void ClearErrors() { Errors.clear(); }
    void AddError(const std::string& operation, const std::string& detail, int32_t attempt);

    TLink* Link = nullptr;
    int32_t Retries = 3;
    std::string Response;
    std::vector<std::string> Errors;

    // How the client pauses between steps; the default lets the UI process its events
    // meanwhile. Tests replace it to record the pauses.
    std::function<void(uint32_t ms)> Pause;

private:
    static constexpr size_t kMaxErrors = 20;
    bool ReadEtxReplyWithBcc(uint32_t replyTimeoutMs, const char* rdResponse, const char* rdCrc,
                             const char* crcFailed, int32_t attempt);
    bool ReadAck(uint32_t timeoutMs, const std::string& operation, int32_t attempt);
    void TraceError(const std::string&, const std::string&, int32_t) {}
};

}  // namespace veltro::link
