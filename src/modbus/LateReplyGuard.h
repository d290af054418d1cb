#pragma once
// RTU frames carry no transaction number: a reply that comes after its request timed out
// looks exactly like the reply to the next request of the same function and length (the
// monitoring page's first two blocks are both 58 registers). The guard remembers the
// requests still without an answer of their own and tells when a reply received now could
// be the late answer to one of them rather than to the request just sent.
//
// A station answers its requests in order, so once a later request has been answered
// nothing earlier can be any more. Plain bookkeeping over frames; no I/O.

#include <array>
#include <cstdint>
#include <vector>

namespace veltro::modbus {

class TLateReplyGuard {
public:
    TLateReplyGuard();

    // Request (address to CRC) went out and got no answer: its answer may still come.
    void Unanswered(const std::uint8_t* Request, std::int32_t Size);
    // The answer to Request was taken; if Repeated (it was sent more than once), the
    // station may answer one of the copies once more.
    void Answered(const std::uint8_t* Request, std::int32_t Size, bool Repeated);
    // Could Reply (a whole frame, address to CRC) answer a remembered request other than
    // Request as well as Request itself? A copy of Request remembered is no doubt: its
    // answer carries the same values.
    bool Ambiguous(const std::uint8_t* Request, std::int32_t Size, const std::uint8_t* Reply,
                   std::int32_t Length) const;
    // Bytes that were not taken as a reply (drained before a request, or a burst that was
    // no reply): a late answer to a remembered request among them has come and gone, and
    // with it everything owed before that request.
    void Seen(const std::uint8_t* Bytes, std::int32_t Count);
    // A reply that may have been the late answer was dropped: nothing earlier is owed now.
    void Forget() noexcept { FCount = 0; }
    bool Empty() const noexcept { return FCount == 0; }

private:
    // A station busy with one late answer rarely owes more than the request before it;
    // the oldest is forgotten first.
    static constexpr std::size_t Capacity = 3;
    std::array<std::vector<std::uint8_t>, Capacity> FOwed;  // oldest first
    std::size_t FCount = 0;
};

} // namespace veltro::modbus
