#include "link/Iec1107.h"

#include "platform/UiDispatcher.h"

#include <chrono>
#include <stdexcept>

namespace veltro::link {

namespace {
void PauseServingUi(uint32_t ms)
{
    const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    auto& ui = platform::Ui();
    while (std::chrono::steady_clock::now() < until) {
        if (ui.IsUiThread())
            ui.ProcessPendingEvents();
        ui.WaitServing([&] { return std::chrono::steady_clock::now() >= until; },
                       std::chrono::milliseconds(1));
    }
}
// The links end a received text at a NUL byte, so a reply that held one comes back
// without its terminator: what followed the NUL is lost and the reply is not whole.
bool IsCutAtNul(const std::string& text, const std::string& terminator)
{
    return !text.ends_with(terminator);
}

constexpr const char* kNulInReply = "NUL byte in reply";
}  // namespace

TIec1107::TIec1107() : Pause(PauseServingUi) {}

uint8_t TIec1107::CalcBcc(const std::string& text)
{
    // The block check covers everything after the leading SOH or STX, ETX included.
    uint8_t bcc = 0;
    for (size_t i = 1; i < text.size(); ++i)
        bcc ^= static_cast<uint8_t>(text[i]);
    return bcc;
}

void TIec1107::SetRetries(int32_t value)
{
    Retries = value;
    ClearErrors();
}

void TIec1107::AddError(const std::string& operation, const std::string& detail, int32_t attempt)
{
    // When the list is full the newest detail replaces the last entry.
    const size_t count = std::min(Errors.size() + 1, kMaxErrors);
    Errors.resize(count);
    Errors.back() = detail;
    TraceError(operation, detail, attempt);
}

void TIec1107::SendCommand(const std::string& command)
{
    if (!Link->WriteString(command + static_cast<char>(CalcBcc(command))))
        AddError("SendCommand " + command, Link->LastError, -1);
}

bool TIec1107::Connect(const std::string& ident)
{
    ClearErrors();
    for (int32_t n = 1; n <= Retries; ++n) {
        if (!Link->WriteString(std::string(8, NUL)))
            AddError("Connect wr wakeup string", Link->LastError, n);
        Pause(static_cast<uint32_t>(50 * n));
        if (!Link->WriteString("/?" + ident + "!" + CR + LF))
            AddError("Connect wr init string", Link->LastError, n);
        if (Link->ReadStringTimed(Response, std::string{CR, LF}, 4000)) {
            if (IsCutAtNul(Response, std::string{CR, LF})) {
                AddError("Connect rd response", kNulInReply, n);
                continue;
            }
            Response.resize(Response.size() - 2);
            return true;
        }
        AddError("Connect rd response", Link->LastError, n);
    }
    return false;
}

bool TIec1107::ReadEtxReplyWithBcc(uint32_t replyTimeoutMs, const char* rdResponse, const char* rdCrc,
                                   const char* crcFailed, int32_t n)
{
    if (!Link->ReadStringTimed(Response, std::string{ETX}, replyTimeoutMs)) {
        AddError(rdResponse, Link->LastError, n);
        return false;
    }
    if (IsCutAtNul(Response, std::string{ETX})) {
        // The block check would cover only the bytes before the NUL and accept a
        // shortened value.
        Link->SkipChars(50);
        AddError(rdResponse, kNulInReply, n);
        return false;
    }
    const uint8_t bcc = CalcBcc(Response);
    char received = 0;
    if (!Link->ReadCharTimed(received, 1000)) {
        AddError(rdCrc, Link->LastError, n);
        return false;
    }
    if (static_cast<uint8_t>(received) == bcc)
        return true;
    // Let the rest of a garbled reply go by so it does not spill into the next attempt.
    Link->SkipChars(50);
    AddError(crcFailed, Response + received, n);
    return false;
}

bool TIec1107::SwitchBaudRate()
{
    ClearErrors();
    for (int32_t n = 1; n <= Retries; ++n) {
        // ACK '0' '5' '1': normal procedure, 9600 Bd in the mode C table, programming mode.
        if (!Link->WriteString(std::string{ACK, '0', '5', '1', CR, LF}))
            AddError("SwitchBaudRate wr", Link->LastError, n);
        if (ReadEtxReplyWithBcc(4000, "SwitchBaudRate rd response", "SwitchBaudRate rd crc",
                                "SwitchBaudRate crc failed", n))
            return true;
    }
    return false;
}

bool TIec1107::GetData(const std::string& command)
{
    try {
        ClearErrors();
        for (int32_t n = 1; n <= Retries; ++n) {
            Link->SkipChars(20);
            SendCommand(command);
            if (ReadEtxReplyWithBcc(2000, "GetData rd response", "GetData rd crc", "GetDate crc failed", n))
                return true;
        }
        return false;
    } catch (...) {
        throw std::runtime_error("GetData(" + command + ")");
    }
}

bool TIec1107::ReadValue(const std::string& code)
{
    const bool ok = GetData(std::string{SOH} + "R1" + STX + code + "()" + ETX);
    // Values of codes 1..8 may carry a unit after a blank ("(0001234.5 kWh)"); only the
    // number is kept.
    if (!code.empty() && code[0] >= '1' && code[0] <= '8') {
        const size_t open = Response.find('(');
        const size_t close = open == std::string::npos ? open : Response.find(')', open);
        if (close != std::string::npos) {
            const std::string inner = Response.substr(open + 1, close - open - 1);
            const size_t blank = inner.find(' ');
            if (blank != std::string::npos)
                Response = Response.substr(0, open + 1) + inner.substr(0, blank) + Response.substr(close);
        }
    }
    return ok;
}

void TIec1107::GetValueText(std::string& value) const
{
    value = Response;
    if (const size_t open = value.find('('); open != std::string::npos)
        value = value.substr(open + 1);
    if (const size_t close = value.find(')'); close != std::string::npos)
        value = value.substr(0, close);
}

bool TIec1107::ReadAck(uint32_t timeoutMs, const std::string& operation, int32_t n)
{
    char c = 0;
    if (Link->ReadCharTimed(c, timeoutMs)) {
        if (c == ACK)
            return true;
        Link->SkipChars(50);
    }
    AddError(operation, Link->LastError, n);
    return false;
}

bool TIec1107::SetPassword(const std::string& password)
{
    // Sent once whatever Retries says: repeating a wrong password can lock the meter.
    ClearErrors();
    SendCommand(std::string{SOH} + "P1" + STX + "(" + password + ")" + ETX);
    return ReadAck(4000, "SetPassword rd crc 1", -1);
}

bool TIec1107::WriteData(const std::string& code, const std::string& value)
{
    ClearErrors();
    for (int32_t n = 1; n <= Retries; ++n) {
        SendCommand(std::string{SOH} + "W1" + STX + code + "(" + value + ")" + ETX);
        if (ReadAck(8000, "WriteTime rd crc 2", n))
            return true;
    }
    return false;
}

bool TIec1107::Disconnect()
{
    ClearErrors();
    for (int32_t n = 1; n <= Retries; ++n) {
        if (!Link->WriteString(std::string{SOH, 'B', '0', ETX, 'q'}))
            AddError("Disconnect wr", Link->LastError, n);
        char c = 0;
        if (!Link->ReadCharTimed(c, 2000)) {
            AddError("Disconnect rd crc", Link->LastError, n);
            continue;
        }
        if (c == ACK)
            return true;
        Link->SkipChars(50);
        AddError("Disconnect crc failed", std::string(1, c), n);
    }
    return false;
}

}  // namespace veltro::link
