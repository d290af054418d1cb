#include "core/PollSession.h"

#include "modbus/ModbusConnection.h"

#include <utility>

namespace veltro::core {

QString FailureText(TReplyOutcome outcome, uint8_t exceptionCode)
{
    switch (outcome) {
    case roUnmatched: return QStringLiteral("Ricevuta una risposta non corrispondente alla richiesta inviata!");
    case roException:
        // A gateway answers for the station behind it when it cannot reach it.
        if (exceptionCode == 0x0A)
            return QStringLiteral("Ricevuta una risposta di errore! Gateway: percorso non disponibile");
        if (exceptionCode == 0x0B)
            return QStringLiteral("Ricevuta una risposta di errore! Gateway: il dispositivo non risponde");
        return QStringLiteral("Ricevuta una risposta di errore!");
    case roNoReply: return QStringLiteral("Nessuna risposta ricevuta!");
    default: return QStringLiteral("Risposta invalida!");
    }
}

bool PollSession::ReadyToAsk(modbus::TModbusConnection& connection, std::optional<QString>& back)
{
    return lost_.TryReopen(connection, back);
}

void PollSession::Asked()
{
    Stats.Request(PollStatistics::Clock::now());
    next_ = (next_ + 1) % kModuleBlocks.size();
}

PollReply PollSession::Replied(modbus::TModbusConnection& connection, const modbus::TTransactionInfo& info,
                               uint16_t start, const modbus::TRegValues& values)
{
    PollReply r;
    r.outcome = OutcomeOf(info.ReplyStatus);
    // A device that went away is told apart from a module that does not answer.
    r.log = r.outcome == roNoReply ? lost_.AfterNoReply(connection) : std::nullopt;
    if (r.outcome == roSuccess || r.outcome == roException)
        r.back = lost_.AfterReply(connection);
    if (!r.log && r.outcome != roSuccess)
        r.log = FailureText(r.outcome, info.RawExceptionCode);
    Stats.Reply(r.outcome, PollStatistics::Clock::now());
    for (size_t i = 0; i < kModuleBlocks.size(); ++i)
        if (kModuleBlocks[i].start == start)
            r.block = static_cast<int>(i);
    if (r.block < 0)
        return r;
    if (r.outcome == roSuccess) {
        switch (r.block) {
        case 0: r.values.meter = ReadMeterBlock(values); cycle_.meter = r.values.meter; break;
        case 1: r.values.phases = ReadPhaseBlock(values); cycle_.phases = r.values.phases; break;
        default: r.values.profiles = ReadProfileBlock(values); cycle_.profiles = r.values.profiles; break;
        }
    }
    outcomes_[static_cast<size_t>(r.block)] = r.outcome;
    if (r.block == static_cast<int>(kModuleBlocks.size()) - 1) {
        r.cycle = std::exchange(cycle_, ModuleValues{});
        r.cycleOutcomes = std::exchange(outcomes_, {roInvalid, roInvalid, roInvalid});
    }
    return r;
}

void PollSession::Reset()
{
    lost_.Forget();
    next_ = 0;
    cycle_ = ModuleValues{};
    outcomes_ = {roInvalid, roInvalid, roInvalid};
}

}  // namespace veltro::core
