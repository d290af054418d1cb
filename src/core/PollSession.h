#pragma once
// One polling session of the module, as "Controllo" runs it: the three blocks asked in
// turn, each reply booked in the statistics, an adapter that went away told from a silent
// module and opened again when it is back, each block decoded, and a cycle complete once
// the third block has been answered or has failed. The caller owns the connection, the
// client and the timer; the session decides what to ask and what a reply means, so the
// window and the command line poll alike.

#include "core/LostPort.h"
#include "core/ModuleValues.h"
#include "core/PollStatistics.h"
#include "modbus/ModbusClient.h"

#include <QString>

#include <array>
#include <optional>

namespace veltro::modbus {
class TModbusConnection;
}

namespace veltro::core {

// The log line of a failed poll; an exception reply of a gateway (code 10 or 11) says so.
QString FailureText(TReplyOutcome outcome, uint8_t exceptionCode = 0);

// What one reply meant.
struct PollReply {
    TReplyOutcome outcome = roInvalid;
    int block = -1;              // 0, 1, 2: the block it answers; -1 when it answers none
    std::optional<QString> back;  // for the log first: a gateway opened again is back
    std::optional<QString> log;   // for the log: the failure, or the adapter that went away
    ModuleValues values;         // on success, the block just decoded (only its member set)
    // A cycle ends with this reply: the values of every block answered in it, and each
    // block's outcome.
    std::optional<ModuleValues> cycle;
    std::array<TReplyOutcome, 3> cycleOutcomes{roInvalid, roInvalid, roInvalid};
};

class PollSession {
public:
    PollStatistics Stats;

    // At a tick: whether to ask now. While an adapter or a gateway that went away is still
    // away, no; when an adapter is back, back holds the line to log.
    bool ReadyToAsk(modbus::TModbusConnection& connection, std::optional<QString>& back);
    // The block to ask for now, and the request booked once it has been queued.
    RegisterBlockRange NextBlock() const { return kModuleBlocks[next_]; }
    void Asked();
    PollReply Replied(modbus::TModbusConnection& connection, const modbus::TTransactionInfo& info,
                      uint16_t start, const modbus::TRegValues& values);
    // Polling starts or stops: a loss is no longer waited out, and the next poll starts a
    // cycle with the first block.
    void Reset();

private:
    LostPort lost_;
    size_t next_ = 0;
    ModuleValues cycle_;
    std::array<TReplyOutcome, 3> outcomes_{roInvalid, roInvalid, roInvalid};
};

}  // namespace veltro::core
