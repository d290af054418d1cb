#include "core/PollStatistics.h"

#include "modbus/ModbusTransaction.h"

namespace veltro::core {

TReplyOutcome OutcomeOf(std::uint8_t replyStatus)
{
    switch (replyStatus) {
    case modbus::rsSuccess: return roSuccess;
    case modbus::rsUnmatched: return roUnmatched;
    case modbus::rsException: return roException;
    case modbus::rsNoReply: return roNoReply;
    default: return roInvalid;
    }
}

void PollStatistics::Request(Time now)
{
    ++FRequests;
    FLastRequestTime = now;
}

void PollStatistics::Reply(TReplyOutcome outcome, Time now)
{
    switch (outcome) {
    case roSuccess:
        ++FResponses;
        FLastResponseTime = now;
        FInErrorRun = false;
        return;
    case roUnmatched: ++FUnmatched; break;
    case roException: ++FExceptions; break;
    case roNoReply: ++FTimeouts; break;
    case roInvalid: ++FInvalid; break;
    }
    CountError(now);
}

void PollStatistics::CountError(Time now)
{
    FLastErrorTime = now;
    if (FInErrorRun) {
        ++FConsecErrors;
    } else {
        FConsecErrors = 1;
        FConsecStart = now;
    }
    // While the longest run is still growing its end follows every new failure.
    if (FConsecErrors > FMaxConsecErrors) {
        FMaxConsecErrors = FConsecErrors;
        FMaxConsecStart = FConsecStart;
        FMaxConsecEnd = FLastErrorTime;
    }
    FInErrorRun = true;
}

std::vector<std::string> PollStatistics::Lines(const std::function<std::string(Time)>& dateTime,
                                               const std::function<std::string(Time)>& longTime) const
{
    const auto span = [&](int count, Time from, Time to) {
        return count == 0 ? std::string("N/A") : longTime(from) + " - " + longTime(to);
    };
    return {
        "Requests = " + std::to_string(FRequests),
        "Responses = " + std::to_string(FResponses),
        "Timeout Responses = " + std::to_string(FTimeouts),
        "Unmatched Responses = " + std::to_string(FUnmatched),
        "Exceptions Responses = " + std::to_string(FExceptions),
        "Invalid Responses = " + std::to_string(FInvalid),
        "Last Consec Errors = " + std::to_string(FConsecErrors),
        "Max  Consec Errors = " + std::to_string(FMaxConsecErrors),
        "Last Request   Time = " + (FRequests == 0 ? std::string("N/A") : dateTime(FLastRequestTime)),
        "Last Resp. OK  Time = " + (FResponses == 0 ? std::string("N/A") : dateTime(FLastResponseTime)),
        "Last Consec Errors Time = " + span(FConsecErrors, FConsecStart, FLastErrorTime),
        "Max  Consec Errors Time = " + span(FMaxConsecErrors, FMaxConsecStart, FMaxConsecEnd),
    };
}

}  // namespace veltro::core
