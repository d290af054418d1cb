// The meter's answers as the IEC client receives them. A link in memory plays the meter:
// every command written releases the next burst of the input, as a meter answers each
// command once; the reads take from the burst like the serial link does (string reads
// stop at their terminator or at the receive buffer's limit, a NUL ends the text, a skip
// lets the rest of the burst go by, a write discards what was not read). Whatever the
// meter sends, every operation must end, keep its error list bounded, explain a failure,
// and accept a data block only whole and with its block check.

#include "link/Iec1107.h"
#include "support/NullLink.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

using veltro::link::TIec1107;
using namespace veltro::link;

namespace {

void Check(bool Condition)
{
    if (!Condition)
        std::abort();
}

class MeterInMemory : public veltro::test::NullLink {
public:
    std::vector<std::string> Bursts;
    std::size_t Next = 0;
    std::string Line;   // the burst being received
    std::size_t At = 0;
    int Writes = 0;

    bool IsConnected() override { return true; }
    void PurgeInput() override { At = Line.size(); }
    bool WriteString(const std::string& Bytes) override
    {
        PurgeInput();
        ++Writes;
        // The wake-up string of NULs gets no answer; every command does.
        const bool WakeUp = Bytes.find_first_not_of('\0') == std::string::npos;
        Line = !WakeUp && Next < Bursts.size() ? Bursts[Next++] : std::string();
        At = 0;
        return true;
    }
    bool WriteBytes(const std::vector<uint8_t>& Bytes) override
    {
        return WriteString(std::string(Bytes.begin(), Bytes.end()));
    }
    void SkipChars(uint32_t) override { At = Line.size(); }
    bool ReadCharTimed(char& C, uint32_t) override
    {
        if (At >= Line.size()) {
            LastError = "ReadCharTimed: timed out";
            return false;
        }
        C = Line[At++];
        return true;
    }
    bool ReadByteTimed(uint8_t& B, uint32_t Ms) override
    {
        char C = 0;
        if (!ReadCharTimed(C, Ms))
            return false;
        B = static_cast<uint8_t>(C);
        return true;
    }
    bool ReadStringTimed(std::string& Text, const std::string& Terminator, uint32_t) override
    {
        // The serial link's buffer holds 4095 bytes and keeps one free.
        constexpr std::size_t Limit = 4094;
        std::string Got;
        while (At < Line.size() && Got.size() < Limit) {
            Got += Line[At++];
            if (Got.ends_with(Terminator)) {
                Text = Got.substr(0, Got.find('\0'));
                return true;
            }
        }
        Text.clear();
        LastError = "ReadStringTimed: timed out";
        return false;
    }
};

// Input layout: byte 0 the operation, byte 1 the retries (1..4) and the data code's
// first character, then bursts, each a two-byte little-endian length and its bytes.
std::vector<std::string> SplitBursts(const std::uint8_t* Data, std::size_t Size)
{
    std::vector<std::string> Bursts;
    std::size_t I = 0;
    while (I + 2 <= Size && Bursts.size() < 16) {
        const std::size_t Length = std::min<std::size_t>((Data[I] | Data[I + 1] << 8) % 8192, Size - I - 2);
        Bursts.emplace_back(reinterpret_cast<const char*>(Data + I + 2), Length);
        I += 2 + Length;
    }
    return Bursts;
}

// The lead byte is outside the block check and not judged here; the block must end at
// the ETX its check covers.
bool IsCompleteBlock(const std::string& Response)
{
    return !Response.empty() && Response.back() == ETX;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* Data, std::size_t Size)
{
    if (Size < 2)
        return 0;
    MeterInMemory Meter;
    Meter.Bursts = SplitBursts(Data + 2, Size - 2);

    TIec1107 Iec;
    Iec.Link = &Meter;
    Iec.Pause = [](uint32_t) {};
    Iec.SetRetries(1 + (Data[1] & 3));
    const std::string Code = std::string(1, static_cast<char>('0' + (Data[1] >> 2) % 10)) + ".8.0";

    bool Ok = false;
    bool DataBlock = false;
    switch (Data[0] % 7) {
    case 0: Ok = Iec.Connect("ABC"); break;
    case 1: Ok = Iec.SwitchBaudRate(); DataBlock = true; break;
    case 2: Ok = Iec.GetData(std::string{SOH} + "R1" + STX + Code + "()" + ETX); DataBlock = true; break;
    case 3: Ok = Iec.ReadValue(Code); break;
    case 4: Ok = Iec.SetPassword("00000000"); break;
    case 5: Ok = Iec.WriteData(Code, "12"); break;
    case 6: Ok = Iec.Disconnect(); break;
    }

    Check(Iec.Errors.size() <= 20);
    Check(Ok || !Iec.Errors.empty());
    Check(Iec.Response.size() <= 4094);
    Check(Meter.Writes <= 2 * Iec.Retries + 1);
    if (Ok && DataBlock)
        Check(IsCompleteBlock(Iec.Response));

    std::string Value = "untouched";
    Iec.GetValueText(Value);
    Check(Value.size() <= Iec.Response.size());
    Check(Iec.Response.find(Value) != std::string::npos);
    return 0;
}
