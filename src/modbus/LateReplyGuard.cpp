#include "modbus/LateReplyGuard.h"

#include "modbus/ExpectedReply.h"

#include <algorithm>

namespace veltro::modbus {

namespace {

// The longest RTU frame: every vector is sized once, so remembering costs no allocation.
constexpr std::size_t LongestFrame = 256;

bool Same(const std::vector<std::uint8_t>& Frame, const std::uint8_t* Bytes, std::int32_t Size)
{
    return Frame.size() == static_cast<std::size_t>(Size) && std::equal(Frame.begin(), Frame.end(), Bytes);
}

} // namespace

TLateReplyGuard::TLateReplyGuard()
{
    for (auto& Frame : FOwed)
        Frame.reserve(LongestFrame);
}

void TLateReplyGuard::Unanswered(const std::uint8_t* Request, std::int32_t Size)
{
    if (Size <= 0 || static_cast<std::size_t>(Size) > LongestFrame)
        return;
    if (FCount > 0 && Same(FOwed[FCount - 1], Request, Size))
        return;
    if (FCount == Capacity) {
        std::rotate(FOwed.begin(), FOwed.begin() + 1, FOwed.end());
        --FCount;
    }
    FOwed[FCount].assign(Request, Request + Size);
    ++FCount;
}

void TLateReplyGuard::Answered(const std::uint8_t* Request, std::int32_t Size, bool Repeated)
{
    FCount = 0;
    if (Repeated)
        Unanswered(Request, Size);
}

void TLateReplyGuard::Seen(const std::uint8_t* Bytes, std::int32_t Count)
{
    for (std::size_t I = FCount; I-- > 0;) {
        const TExpectedReply Expected(FOwed[I].data(), static_cast<std::int32_t>(FOwed[I].size()), false);
        if (Expected.Find(Bytes, Count).Length > 0) {
            std::rotate(FOwed.begin(), FOwed.begin() + static_cast<std::ptrdiff_t>(I + 1), FOwed.end());
            FCount -= I + 1;
            return;
        }
    }
}

bool TLateReplyGuard::Ambiguous(const std::uint8_t* Request, std::int32_t Size, const std::uint8_t* Reply,
                                std::int32_t Length) const
{
    for (std::size_t I = 0; I < FCount; ++I) {
        const std::vector<std::uint8_t>& Owed = FOwed[I];
        if (Same(Owed, Request, Size))
            continue;
        const TExpectedReply Expected(Owed.data(), static_cast<std::int32_t>(Owed.size()), false);
        const TFrameSpan Span = Expected.Find(Reply, Length);
        if (Span.Offset == 0 && Span.Length == Length)
            return true;
    }
    return false;
}

} // namespace veltro::modbus
