#include "modbus/MbapLine.h"

#include <algorithm>

namespace veltro::modbus {

namespace {

using Clock = std::chrono::steady_clock;

} // namespace

MbapLine::MbapLine()
{
    FIn.reserve(2 * MbapMaxFrameSize);
    FOut.reserve(MbapMaxFrameSize);
    FWireIn.reserve(MbapMaxFrameSize);
}

void MbapLine::PurgePort(bool Input, bool Output)
{
    if (Input)
        FIn.clear();
    SerialLine::PurgePort(Input, Output);
}

std::span<const std::uint8_t> MbapLine::Outgoing(std::span<const std::uint8_t> Frame)
{
    // A client numbers every attempt afresh, so the late answer to an earlier one cannot
    // pass for this one's.
    std::uint16_t Id = FRequestId;
    if (!IsServerLine())
        FExpectedId = Id = FNextId++;
    FOut.resize(MbapMaxFrameSize);
    const std::int32_t N = RtuToMbap(Frame.data(), static_cast<std::int32_t>(Frame.size()), Id, FOut.data(),
                                     static_cast<std::int32_t>(FOut.size()));
    FOut.resize(static_cast<std::size_t>(N));
    return FOut;
}

std::span<const std::uint8_t> MbapLine::Incoming(std::span<const std::uint8_t>)
{
    return FWireIn;
}

bool MbapLine::Fill(std::size_t Need, Clock::time_point Deadline, bool First)
{
    std::uint8_t Chunk[512];
    while (FIn.size() < Need) {
        std::chrono::milliseconds Limit = InfiniteTimeout;
        if (Deadline != Clock::time_point::max())
            Limit = std::max(std::chrono::ceil<std::chrono::milliseconds>(Deadline - Clock::now()),
                             std::chrono::milliseconds(0));
        // The first byte of a server's request may take for ever; nothing else may.
        if (!WaitForRxChar(First && Deadline == Clock::time_point::max() ? InfiniteTimeout : Limit))
            return false;
        const std::int32_t N = ReadQueued(Chunk, static_cast<std::int32_t>(sizeof Chunk));
        if (N < 0)
            return false;
        FIn.insert(FIn.end(), Chunk, Chunk + N);
        if (Deadline != Clock::time_point::max() && Clock::now() >= Deadline && FIn.size() < Need)
            return false;
    }
    return true;
}

std::int32_t MbapLine::ReceiveFrame(std::uint8_t* Dest, std::int32_t Room, std::chrono::milliseconds,
                                    std::chrono::milliseconds& Remaining, TReplySearch* Search)
{
    FWireIn.clear();
    if (Search)
        *Search = TReplySearch{Search->Expected, Search->WholeBurst};
    const bool Server = IsServerLine();
    const bool Limited = Remaining.count() >= 0;
    if (Limited && Remaining.count() == 0)
        return 0;
    const Clock::time_point Deadline = Limited ? Clock::now() + Remaining : Clock::time_point::max();
    const auto Update = [&] {
        if (Server && !Limited)
            return;
        Remaining = std::max(std::chrono::floor<std::chrono::milliseconds>(Deadline - Clock::now()),
                             std::chrono::milliseconds(0));
    };
    for (;;) {
        if (!Fill(MbapHeaderSize, Deadline, FIn.empty())) {
            if (Server && !Limited)
                Remaining = std::chrono::milliseconds(0);
            Update();
            return 0;
        }
        const TMbapHeader Header = *ReadMbapHeader(FIn.data(), static_cast<std::int32_t>(FIn.size()));
        if (!Header.Valid()) {
            // Not a Modbus frame: no telling where the next one begins, so everything
            // read is dropped and the stream taken up afresh.
            if (OnDropped)
                OnDropped(FIn);
            PurgePort(true, false);
            Update();
            return 0;
        }
        const auto Size = static_cast<std::size_t>(Header.FrameSize());
        const Clock::time_point Rest =
            Server && !Limited ? Clock::now() + ServerFrameTime : Deadline;
        if (!Fill(Size, Rest, false)) {
            Update();
            return 0;  // cut short: what came stays in for the purge before the next request
        }
        const std::span<const std::uint8_t> Wire(FIn.data(), Size);
        if (!Server && Header.TransactionId != FExpectedId) {
            if (OnDropped)
                OnDropped(Wire);
            FIn.erase(FIn.begin(), FIn.begin() + static_cast<std::ptrdiff_t>(Size));
            Update();
            if (Limited && Remaining.count() == 0)
                return 0;
            continue;
        }
        FWireIn.assign(Wire.begin(), Wire.end());
        FIn.erase(FIn.begin(), FIn.begin() + static_cast<std::ptrdiff_t>(Size));
        if (Server)
            FRequestId = Header.TransactionId;
        Update();
        return MbapToRtu(FWireIn.data(), static_cast<std::int32_t>(FWireIn.size()), Dest, Room);
    }
}

} // namespace veltro::modbus
