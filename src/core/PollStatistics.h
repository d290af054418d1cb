#pragma once
// The monitoring page's statistics: what was asked, what came back, and the runs of
// consecutive failed polls. Kept apart from the window so the bookkeeping can be
// checked on its own.

#include <chrono>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace veltro::core {

enum TReplyOutcome { roSuccess, roUnmatched, roException, roNoReply, roInvalid };

// The outcome a reply status of the Modbus client (rsSuccess, rsUnmatched, ...) is
// booked as; a status the client does not define is an invalid reply.
TReplyOutcome OutcomeOf(std::uint8_t replyStatus);

struct PollStatistics {
    using Clock = std::chrono::system_clock;
    using Time = Clock::time_point;

    int FRequests = 0;
    int FResponses = 0;
    Time FLastRequestTime{};
    Time FLastResponseTime{};
    int FUnmatched = 0;
    int FExceptions = 0;
    int FTimeouts = 0;
    int FInvalid = 0;
    int FMaxConsecErrors = 0;
    Time FMaxConsecStart{};
    Time FMaxConsecEnd{};
    int FConsecErrors = 0;
    Time FConsecStart{};
    Time FLastErrorTime{};
    bool FInErrorRun = false;

    void Request(Time now);
    // Books one reply; every outcome but success also counts as a failed poll.
    void Reply(TReplyOutcome outcome, Time now);
    void CountError(Time now);
    void Reset() { *this = PollStatistics{}; }

    // The twelve lines of the statistics panel; the formatters write a time as a date
    // and time, or as a long time.
    std::vector<std::string> Lines(const std::function<std::string(Time)>& dateTime,
                                   const std::function<std::string(Time)>& longTime) const;
};

}  // namespace veltro::core
