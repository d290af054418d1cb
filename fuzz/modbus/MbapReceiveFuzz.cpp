// What a Modbus TCP line receives, in any chunks: MBAP headers with any protocol
// identifier, length and transaction identifier, frames cut anywhere, several in one read.
// The first input byte chooses client or server and how the rest is cut into chunks.
// Whatever arrives, a frame the line returns is a whole, valid ADU turned into an RTU frame
// whose CRC checks, and a client returns only the reply to the request it sent: no frame
// under another transaction identifier ever passes.

#include "modbus/MbapFrame.h"
#include "modbus/MbapLine.h"
#include "modbus/ModbusFrames.h"
#include "support/FakeSerialDevice.h"

#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <vector>

using namespace veltro::modbus;

namespace {

void Check(bool Condition)
{
    if (!Condition)
        std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* Data, std::size_t Size)
{
    if (Size < 1)
        return 0;
    const bool Server = Data[0] & 1;
    const std::size_t ChunkSize = 1 + (Data[0] >> 1) % 16;
    ++Data;
    --Size;

    // The pure conversion on the whole input first.
    std::uint8_t Rtu[300];
    const std::int32_t N = MbapToRtu(Data, static_cast<std::int32_t>(Size), Rtu, sizeof Rtu);
    Check(N == 0 || (N >= 4 && Crc16(Rtu, N - 2) == static_cast<std::uint16_t>(Rtu[N - 2] | (Rtu[N - 1] << 8))));

    veltro::test::FakeSerialDevice Device;
    MbapLine Line;
    Line.SetDeviceOpener([&](const std::string&, int&) { return std::make_unique<veltro::test::SerialDeviceRef>(Device); });
    LineSettings Settings;
    Settings.ConnectionMode = Server ? cmServer : cmClient;
    Line.OpenPort(Settings);
    // A client's request goes out under identifier 0.
    const std::uint8_t Request[] = {17, 3, 0, 0, 0, 2, 0xC6, 0x9B};
    if (!Server)
        Check(Line.Outgoing(Request).size() == 12);
    for (std::size_t At = 0; At < Size; At += ChunkSize)
        Device.Deliver(std::vector<std::uint8_t>(Data + At, Data + std::min(Size, At + ChunkSize)));

    for (int Frames = 0; Frames < 64; ++Frames) {
        // A server waits for its next request for as long as it takes: once the input is
        // used up there is nothing more to wait for.
        if (Server && Device.InQueue() == 0)
            break;
        std::chrono::milliseconds Remaining(Server ? -1 : 5);
        std::uint8_t Dest[300];
        const std::int32_t Length = Line.ReceiveFrame(Dest, sizeof Dest, std::chrono::milliseconds(5), Remaining);
        if (Length == 0)
            break;
        const std::span<const std::uint8_t> Wire = Line.Incoming({Dest, static_cast<std::size_t>(Length)});
        const std::optional<TMbapHeader> Header = ReadMbapHeader(Wire.data(), static_cast<std::int32_t>(Wire.size()));
        Check(Header && Header->Valid() && Header->FrameSize() == static_cast<std::int32_t>(Wire.size()));
        Check(Server || Header->TransactionId == 0);
        Check(Length == Header->Length + 2);
        Check(Crc16(Dest, Length - 2) == static_cast<std::uint16_t>(Dest[Length - 2] | (Dest[Length - 1] << 8)));
    }
    Line.ClosePort();
    return 0;
}
