#include "link/LinkSerial.h"

#include "link/LinkClasses.h"
#include "link/XmlWriter.h"
#include "platform/DebugOutput.h"

#include <algorithm>
#include <array>
#include <exception>
#include <thread>

namespace veltro::link {

namespace {

using namespace std::chrono_literals;

constexpr std::array<TDatabits, 2> kDataBits = {da7, da8};
constexpr std::array<TStopbits, 2> kStopBits = {sb10, sb20};
constexpr std::array<TParity, 3> kParities = {paNone, paOdd, paEven};
// The three highest label rates (230400 and up) have no port value and keep 9600.
constexpr std::array<TBaudrate, 10> kBaudRates = {br300,  br600,   br1200,  br2400,  br4800,
                                                  br9600, br19200, br38400, br57600, br115200};

// A short settle time between discarding stale input and sending the next command.
constexpr auto kPurgeSettle = 5ms;
constexpr auto kDrainMargin = 500ms;
// The longest a skip lets a talking line go by.
constexpr auto kSkipBound = 1s;

template <typename Table>
std::string Label(const Table& table, size_t index)
{
    // Indices are stored unchecked; one out of range names no setting.
    return index < table.size() ? std::string(table[index]) : std::string("?");
}

template <typename Table, typename Setter>
void ApplyIndex(const Table& table, size_t index, Setter set)
{
    if (index < table.size())
        set(table[index]);
}

std::string ErrorText(const char* operation)
{
    try {
        throw;
    } catch (const std::exception& e) {
        return std::string(operation) + ": " + e.what();
    } catch (...) {
        return std::string(operation) + ": unknown error";
    }
}

}  // namespace

TLinkSerial::TLinkSerial() = default;

TLinkSerial::~TLinkSerial()
{
    platform::DebugOutput("Destroy TLinkSerial");
}

TComm& TLinkSerial::Port()
{
    // A link that never connected behaves like one whose port is closed.
    if (!Comm)
        Comm = std::make_unique<TComm>();
    return *Comm;
}

void TLinkSerial::SetPort(int32_t value)
{
    if (value >= 0)
        PortNumber = value;
}

void TLinkSerial::GetDescription(std::string& text)
{
    text = "Serial, COM" + std::to_string(PortNumber) + ", " + Label(LinkBaudNames, BaudIndex) + ", "
           + Label(LinkParityNames, ParityIndex) + ", " + Label(LinkDataBitsNames, DataBitsIndex) + ", "
           + Label(LinkStopBitsNames, StopBitsIndex);
}

void TLinkSerial::PurgeInput()
{
    Port().PurgeIn();
}

void TLinkSerial::SaveToXml(XmlDocument& document, XmlElement*& element)
{
    element = document.CreateElement("LinkSerial");
    element->SetAttribute("serial_port", std::to_string(PortNumber));
    element->SetAttribute("bps", Label(LinkBaudNames, BaudIndex));
    element->SetAttribute("parity", Label(LinkParityNames, ParityIndex));
    element->SetAttribute("data_bits", Label(LinkDataBitsNames, DataBitsIndex));
    element->SetAttribute("stop_bits", Label(LinkStopBitsNames, StopBitsIndex));
}

bool TLinkSerial::IsSameLink(const TLink* other)
{
    const auto* serial = dynamic_cast<const TLinkSerial*>(other);
    return serial && serial->PortNumber == PortNumber;
}

void TLinkSerial::ApplySettings(TComm& comm) const
{
    ApplyIndex(kDataBits, DataBitsIndex, [&](TDatabits v) { comm.SetDatabits(v); });
    ApplyIndex(kStopBits, StopBitsIndex, [&](TStopbits v) { comm.SetStopbits(v); });
    ApplyIndex(kParities, ParityIndex, [&](TParity v) { comm.SetParity(v); });
    ApplyIndex(kBaudRates, BaudIndex, [&](TBaudrate v) { comm.SetBaudRate(v); });
}

void TLinkSerial::Connect()
{
    TLink::Connect();
    try {
        Comm = std::make_unique<TComm>();
        ApplySettings(*Comm);
        Comm->SetDeviceName("COM" + std::to_string(PortNumber));
        Comm->Open();
        if (Comm->IsOpen())
            Connected = true;
    } catch (...) {
        LastError = ErrorText("Connect");
    }
}

std::chrono::milliseconds TLinkSerial::DrainBound(int32_t queuedBytes, uint32_t bitsPerSecond)
{
    const int64_t bits = static_cast<int64_t>(std::max(queuedBytes, 0)) * 12;
    const int64_t lineMs = bits * 1000 / std::max<uint32_t>(bitsPerSecond, 1);
    return std::chrono::milliseconds(2 * lineMs) + kDrainMargin;
}

void TLinkSerial::Disconnect()
{
    if (!Comm) {
        Connected = false;
        return;
    }
    try {
        // Let what was written go out before closing, but not for ever: a line stopped
        // by flow control would keep the queue full.
        const int32_t queued = Comm->OutQueueCount();
        if (queued > 0
            && !Comm->DrainOutput(DrainBound(queued, BaudRateValue(Comm->BaudRate()))))
            platform::DebugOutput("Disconnect: output queue not empty, closing anyway");
        Comm->Close();
        Connected = false;
    } catch (...) {
        LastError = ErrorText("Disconnect");
    }
}

bool TLinkSerial::Write(const uint8_t* bytes, size_t count)
{
    try {
        TComm& port = Port();
        port.PurgeIn();
        std::this_thread::sleep_for(kPurgeSettle);
        const int32_t written = port.Write(bytes, static_cast<int32_t>(count));
        // A write the port could not finish within its time-out is a failure: the
        // far end did not get the command.
        if (written != static_cast<int32_t>(count)) {
            LastError = "WriteString: timed out";
            return false;
        }
        return true;
    } catch (...) {
        LastError = ErrorText("WriteString");
        return false;
    }
}

bool TLinkSerial::WriteString(const std::string& bytes)
{
    return Write(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size());
}

bool TLinkSerial::WriteBytes(const std::vector<uint8_t>& bytes)
{
    return Write(bytes.data(), bytes.size());
}

int32_t TLinkSerial::ReadBufferTimed(uint8_t* dest, uint16_t count, uint32_t timeoutMs)
{
    try {
        return Port().ReadTimed(dest, count, timeoutMs);
    } catch (...) {
        LastError = ErrorText("ReadBufferTimed");
        return -1;
    }
}

bool TLinkSerial::ReadOne(uint8_t& b, uint32_t timeoutMs, const char* operation)
{
    try {
        if (Port().ReadTimed(&b, 1, timeoutMs) == 1)
            return true;
        LastError = std::string(operation) + ": timed out";
    } catch (...) {
        LastError = ErrorText(operation);
    }
    return false;
}

bool TLinkSerial::ReadCharTimed(char& c, uint32_t timeoutMs)
{
    uint8_t b = 0;
    if (!ReadOne(b, timeoutMs, "ReadCharTimed"))
        return false;
    c = static_cast<char>(b);
    return true;
}

bool TLinkSerial::ReadByteTimed(uint8_t& b, uint32_t timeoutMs)
{
    if (!ReadOne(b, timeoutMs, "ReadByteTimed"))
        return false;
    SetByteCount(ByteCount + 1);
    return true;
}

void TLinkSerial::SkipChars(uint32_t timeoutMs)
{
    // A line that never falls silent would keep the skip going for ever. What still
    // arrives after the bound is discarded anyway: every write purges the input first.
    const auto until = std::chrono::steady_clock::now() + kSkipBound;
    int32_t skipped = 0;
    char c;
    while (std::chrono::steady_clock::now() < until && ReadCharTimed(c, timeoutMs))
        ++skipped;
    if (skipped > 0)
        platform::DebugOutput("Skipped chars: " + std::to_string(skipped));
}

bool TLinkSerial::ReadStringTimed(std::string& text, const std::string& terminator, uint32_t timeoutMs)
{
    try {
        int32_t count = 0;
        if (!Port().ReadToTerminator(Buffer.data(), kStringLimit, terminator, timeoutMs, count)) {
            text.clear();
            LastError = "ReadStringTimed: timed out";
            return false;
        }
        const auto* begin = reinterpret_cast<const char*>(Buffer.data());
        // The text ends at a NUL byte if one came.
        text.assign(begin, std::find(begin, begin + count, '\0'));
        return true;
    } catch (...) {
        LastError = ErrorText("ReadStringTimed");
        return false;
    }
}

bool TLinkSerial::ReadStringToEOT(std::string& text, uint32_t timeoutMs, char& last)
{
    try {
        int32_t count = 0;
        uint8_t lastByte = 0;
        const bool ok = Port().ReadToEot(Buffer.data(), kStringLimit, timeoutMs, count, lastByte);
        last = static_cast<char>(lastByte);
        if (!ok) {
            text.clear();
            LastError = "ReadStringToEOT: timed out";
            return false;
        }
        const auto* begin = reinterpret_cast<const char*>(Buffer.data());
        text.assign(begin, std::find(begin, begin + count, '\0'));
        return true;
    } catch (...) {
        LastError = ErrorText("ReadStringToEOT");
        return false;
    }
}

}  // namespace veltro::link
