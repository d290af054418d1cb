#include "core/ConfigVerifier.h"

#include "core/ProbeTexts.h"

#include <stdexcept>

namespace veltro::core {

namespace {

// The read ends once the line has been quiet this long after the reply, so that a second
// station answering at the same address is heard too.
constexpr std::chrono::milliseconds kListenAfterReply{50};

// What came back instead of a reply, for the log.
std::string NonReplyLine(const StationProbe::Outcome& O)
{
    if (O.GatewayException == 0x0A)
        return "Il gateway risponde per il modulo: percorso non disponibile (eccezione 10)";
    if (O.GatewayException == 0x0B)
        return "Il gateway risponde per il modulo: il dispositivo non risponde (eccezione 11)";
    switch (O.Reading.Kind) {
    case ProbeKind::Echo: return "Ricevuta solo l'eco della richiesta";
    case ProbeKind::DamagedReply:
        return "Ricevuta una risposta danneggiata (CRC errato o incompleta): " + ShortHex(O.Received);
    case ProbeKind::ForeignFrame:
        return "Ricevuta una risposta dall'indirizzo " + std::to_string(O.Reading.FrameAddress) + ": " +
               ShortHex(O.Received);
    case ProbeKind::StrayBytes: return "Ricevuti byte estranei: " + ShortHex(O.Received);
    default: return "Nessuna risposta ricevuta";
    }
}

}  // namespace

bool SameSerialNumber(const std::string& Expected, std::uint32_t Read)
{
    const size_t First = Expected.find_first_not_of(' ');
    const size_t Last = Expected.find_last_not_of(' ');
    if (First == std::string::npos)
        return false;
    std::uint64_t Value = 0;
    for (size_t i = First; i <= Last; ++i) {
        const char C = Expected[i];
        if (C < '0' || C > '9')
            return false;
        Value = Value * 10 + static_cast<std::uint64_t>(C - '0');
        if (Value > 0xFFFFFFFFull)
            return false;
    }
    return Value == Read;
}

ConfigVerifier::ConfigVerifier(platform::UiDispatcher* Dispatcher) : FProbe(Dispatcher) {}

ConfigVerifier::~ConfigVerifier()
{
    // The probe closes its port as it goes, and never throws doing so.
    FBusy = false;
}

void ConfigVerifier::Start(const VerifyTarget& Target)
{
    if (FBusy)
        throw std::logic_error("ConfigVerifier: a check is running");
    if (Target.Address < 1 || Target.Address > 247 || Target.Attempts < 1)
        throw std::invalid_argument("ConfigVerifier: address 1-247 and at least one attempt");
    FTarget = Target;
    FBusy = true;
    FAttempt = 0;
    FProbe.Later([this] { Open(); });
}

std::string ConfigVerifier::Where() const
{
    return FTarget.Link.Tcp() ? "il gateway " + FTarget.Link.Gateway : "la porta " + FTarget.Port;
}

void ConfigVerifier::Open()
{
    const bool Tcp = FTarget.Link.Tcp();
    if (Tcp) {
        Log("Verifica tramite " + FTarget.Link.Text() + ", indirizzo " + std::to_string(FTarget.Address));
        Log("Connessione al gateway " + FTarget.Link.Gateway);
    } else {
        Log("Verifica su " + FTarget.Port + ", indirizzo " + std::to_string(FTarget.Address) + ", " +
            FTarget.Settings.Text());
        Log("Apertura porta " + FTarget.Port);
    }
    try {
        FProbe.Open(FTarget.Port, FTarget.Settings, FTarget.Link);
    } catch (const std::exception& E) {
        Log((Tcp ? "Connessione al gateway " + FTarget.Link.Gateway : "Apertura porta " + FTarget.Port) +
            " fallita: " + E.what());
        return Finish(voPortError, std::string("Verifica non eseguita: impossibile ") + (Tcp ? "raggiungere " : "aprire ") +
                                       Where());
    }
    Log("Lettura matricola dal modulo");
    Ask();
}

void ConfigVerifier::Ask()
{
    ++FAttempt;
    try {
        FProbe.Ask(static_cast<std::uint8_t>(FTarget.Address), {FTarget.ReceiveTimeout, kListenAfterReply},
                   [this](const StationProbe::Outcome& O) { Answer(O); });
    } catch (const std::exception& E) {
        Log(std::string("Errore: ") + E.what());
        Finish(voNoReply, "Verifica fallita: " + Where() + " non è utilizzabile");
    }
}

void ConfigVerifier::Answer(const StationProbe::Outcome& O)
{
    const ProbeReading& R = O.Reading;
    const std::string Address = std::to_string(FTarget.Address);
    if (R.IsStation()) {
        if (R.EchoBefore)
            Log("Eco della richiesta prima della risposta");
        if (R.StrayBefore || R.StrayAfter)
            Log("Byte estranei insieme alla risposta: " + ShortHex(O.Received));
        if (R.SecondReply)
            return Finish(voOtherModule, "Verifica fallita: all'indirizzo " + Address +
                                             " rispondono due stazioni insieme" +
                                             SerialPair(R.Kind == ProbeKind::Reply ? std::optional(R.SerialNumber)
                                                                                   : std::nullopt,
                                                        R.SecondSerial));
        if (R.Kind == ProbeKind::ExceptionReply)
            return Finish(voOtherModule, "Verifica fallita: all'indirizzo " + Address +
                                             " una stazione rifiuta la lettura della matricola (eccezione " +
                                             std::to_string(R.ExceptionCode) + ")");
        Log("Matricola letta dal modulo: " + std::to_string(R.SerialNumber));
        if (SameSerialNumber(FTarget.ExpectedSerial, R.SerialNumber))
            return Finish(voMatch, "Verifica riuscita: il modulo risponde " +
                                       AddressAndLink(FTarget.Address, FTarget.Settings, FTarget.Link) +
                                       " e la matricola corrisponde a quella del contatore");
        return Finish(voOtherModule, "Verifica fallita: all'indirizzo " + Address +
                                         " risponde un altro modulo (matricola " + std::to_string(R.SerialNumber) +
                                         ", contatore " + FTarget.ExpectedSerial + ")");
    }
    if (FTarget.Link.Tcp() && FProbe.LineLost()) {
        // A gateway never reached is a port that could not be opened; one lost on the way
        // a check that failed. Either way its connection, not the module, kept the reply.
        if (FProbe.Unreachable())
            return Finish(voPortError, "Verifica non eseguita: " + FProbe.LostGatewayLine());
        return Finish(voNoReply, "Verifica fallita: " + FProbe.LostGatewayLine());
    }
    Log(NonReplyLine(O));
    if (FProbe.LineLost())
        return Finish(voNoReply, "Verifica fallita: la porta " + FTarget.Port + " non risponde più");
    if (FAttempt < FTarget.Attempts) {
        Log("Nuovo tentativo (" + std::to_string(FAttempt + 1) + " di " + std::to_string(FTarget.Attempts) + ")");
        return Ask();
    }
    if (FTarget.Link.Tcp())
        return Finish(voNoReply, "Verifica fallita: nessuna risposta " +
                                     AddressAndLink(FTarget.Address, FTarget.Settings, FTarget.Link));
    Finish(voNoReply, "Verifica fallita: nessuna risposta " + AddressAndSettings(FTarget.Address, FTarget.Settings) +
                          " su " + FTarget.Port);
}

void ConfigVerifier::Log(const std::string& Line)
{
    RaiseGuarded(OnLog, Line);
}

void ConfigVerifier::Finish(TVerifyOutcome Outcome, const std::string& Line)
{
    FProbe.Close();
    FBusy = false;
    Log(Line);
    RaiseGuarded(OnFinished, Outcome, Line);
}

}  // namespace veltro::core
