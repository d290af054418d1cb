#include "core/ModuleScanner.h"

#include "core/Common.h"
#include "core/ProbeTexts.h"
#include "platform/UiDispatcher.h"

#include <algorithm>
#include <map>
#include <stdexcept>

namespace veltro::core {

namespace {

using std::chrono::milliseconds;

// Read of two registers: address, function, start, count, CRC. Its reply: address,
// function, byte count, two words, CRC.
constexpr int kRequestCharacters = 8;
constexpr int kReplyCharacters = 9;

// A gateway's round trip on a local network, with room for its own handling of the frame.
constexpr milliseconds kGatewayRoundTrip{100};

}  // namespace

milliseconds ScanReceiveTimeout(const RtuSettings& Settings, milliseconds Turnaround)
{
    return Settings.LineTime(kRequestCharacters + kReplyCharacters) + Turnaround;
}

milliseconds GatewayScanReceiveTimeout(milliseconds Turnaround)
{
    const RtuSettings Slowest{modbus::br2400, modbus::db8, modbus::psEven, modbus::sb2};
    return ScanReceiveTimeout(Slowest, Turnaround) + kGatewayRoundTrip;
}

std::string FoundStation::Text() const
{
    const std::string Where = AddressAndLink(Address, Settings, Link);
    if (SerialNumber)
        return "Modulo trovato " + Where + ", matricola " + std::to_string(*SerialNumber);
    return "Stazione trovata " + Where + ": rifiuta la lettura della matricola (eccezione " +
           std::to_string(ExceptionCode) + ")";
}

std::string LineDisturbance::Text() const
{
    const std::string Where = AddressAndLink(Address, Settings, Link);
    switch (Kind) {
    case DisturbanceKind::Echo: return "Eco della richiesta " + Where + ": " + ShortHex(Bytes);
    case DisturbanceKind::StrayBytes: return "Byte estranei " + Where + ": " + ShortHex(Bytes);
    case DisturbanceKind::DamagedReply:
        return "Risposta danneggiata (CRC errato o incompleta) " + Where + ": " + ShortHex(Bytes);
    case DisturbanceKind::ForeignFrame:
        return "Risposta dall'indirizzo " + std::to_string(FrameAddress) + " alla richiesta per l'indirizzo " +
               std::to_string(Address) + " " + ViaText(Settings, Link) + ": " + ShortHex(Bytes);
    case DisturbanceKind::TwoStations:
        return "Due stazioni rispondono insieme " + Where + SerialPair(Serial, SecondSerial);
    }
    return {};
}

std::string ScanProgress::Text() const
{
    return "Prova " + std::to_string(Done + 1) + " di " + std::to_string(Total) + ": indirizzo " +
           std::to_string(Address) + " " + ViaText(Settings, Link) + ", tempo residuo " + DurationText(TimeLeft);
}

std::vector<std::string> ScanResult::Lines() const
{
    std::vector<std::string> Lines;
    const std::string Count = std::to_string(Done) + " prove di " + std::to_string(Total);
    if (!Error.empty())
        Lines.push_back("Ricerca interrotta dopo " + Count + ": " + Error);
    else if (Cancelled)
        Lines.push_back("Ricerca annullata dopo " + Count);
    else if (Stations.empty())
        Lines.push_back("Nessun modulo trovato " + SearchScope(Settings, FirstAddress, LastAddress, Link));
    else if (Stations.size() == 1)
        Lines.push_back("Ricerca terminata: una stazione trovata");
    else
        Lines.push_back("Ricerca terminata: " + std::to_string(Stations.size()) + " stazioni trovate");
    if (Stations.empty() && (Cancelled || !Error.empty()))
        Lines.back() += ", nessun modulo trovato";
    for (const FoundStation& S : Stations)
        Lines.push_back(S.Text());
    // One line per kind of disturbance: a noisy line would otherwise fill the log.
    std::vector<DisturbanceKind> Order;
    std::map<DisturbanceKind, std::pair<const LineDisturbance*, int>> Kinds;
    for (const LineDisturbance& D : Disturbances) {
        auto [It, New] = Kinds.try_emplace(D.Kind, &D, 0);
        ++It->second.second;
        if (New)
            Order.push_back(D.Kind);
    }
    for (DisturbanceKind K : Order) {
        const auto [First, Times] = Kinds[K];
        Lines.push_back(First->Text() + (Times > 1 ? " (e in altre " + std::to_string(Times - 1) + " prove)" : ""));
    }
    return Lines;
}

ModuleScanner::ModuleScanner(platform::UiDispatcher* Dispatcher) : FProbe(Dispatcher) {}

ModuleScanner::~ModuleScanner()
{
    // The probe closes its port as it goes, and never throws doing so.
    FBusy = false;
}

void ModuleScanner::Start(const ScanOptions& Options)
{
    if (FBusy)
        throw std::logic_error("ModuleScanner: a search is running");
    if (Options.Settings.empty() && !Options.Link.Tcp())
        throw std::invalid_argument("ModuleScanner: no line settings to try");
    if (Options.FirstAddress < 1 || Options.LastAddress > 247 || Options.FirstAddress > Options.LastAddress)
        throw std::invalid_argument("ModuleScanner: addresses must lie within 1-247");
    ScanOptions Taken = Options;
    // Through a gateway one pass over the addresses: the settings stand for none.
    if (Taken.Link.Tcp())
        Taken.Settings = {RtuSettings{}};
    FProbe.Open(Taken.Port, Taken.Settings.front(), Taken.Link);
    FOptions = std::move(Taken);
    FResult = ScanResult{};
    FResult.Settings = FOptions.Settings;
    FResult.Link = FOptions.Link;
    FResult.FirstAddress = FOptions.FirstAddress;
    FResult.LastAddress = FOptions.LastAddress;
    FResult.Total = static_cast<int>(FOptions.Settings.size()) * (FOptions.LastAddress - FOptions.FirstAddress + 1);
    FBusy = true;
    FCancel = false;
    FIndex = 0;
    FExpectedDone = milliseconds(0);
    FStarted = std::chrono::steady_clock::now();
    FProbe.Later([this] { Step(); });
}

void ModuleScanner::Cancel()
{
    // The answer to the candidate out, or the step already queued, ends the search.
    if (FBusy)
        FCancel = true;
}

ModuleScanner::Candidate ModuleScanner::At(int Index) const
{
    const int Addresses = FOptions.LastAddress - FOptions.FirstAddress + 1;
    return {&FOptions.Settings[static_cast<size_t>(Index / Addresses)],
            static_cast<std::uint8_t>(FOptions.FirstAddress + Index % Addresses)};
}

milliseconds ModuleScanner::ExpectedTime(const RtuSettings& Settings) const
{
    if (FOptions.Link.Tcp())
        return GatewayScanReceiveTimeout(FOptions.Turnaround);
    return ScanReceiveTimeout(Settings, FOptions.Turnaround);
}

std::chrono::seconds ModuleScanner::TimeLeft() const
{
    if (FIndex >= FResult.Total)
        return std::chrono::seconds(0);
    // The rest of this setting's addresses, then every address of the settings after it.
    const int Addresses = FOptions.LastAddress - FOptions.FirstAddress + 1;
    milliseconds Left = ExpectedTime(*At(FIndex).Settings) * (Addresses - FIndex % Addresses);
    for (size_t S = static_cast<size_t>(FIndex / Addresses) + 1; S < FOptions.Settings.size(); ++S)
        Left += ExpectedTime(FOptions.Settings[S]) * Addresses;
    // Scaled by how the candidates done so far kept to their expected time: the
    // hand-overs to the worker and back add a little to each.
    double Scale = 1.0;
    const auto Elapsed = std::chrono::duration_cast<milliseconds>(std::chrono::steady_clock::now() - FStarted);
    if (FIndex >= 5 && FExpectedDone.count() > 0)
        Scale = std::clamp(static_cast<double>(Elapsed.count()) / static_cast<double>(FExpectedDone.count()), 1.0, 4.0);
    return std::chrono::seconds(static_cast<long>(static_cast<double>(Left.count()) * Scale / 1000.0 + 0.5));
}

void ModuleScanner::Step()
{
    if (!FBusy)
        return;
    if (FCancel) {
        FResult.Cancelled = true;
        return Finish();
    }
    if (FIndex >= FResult.Total)
        return Finish();
    const Candidate C = At(FIndex);
    try {
        FProbe.SetSettings(*C.Settings);
        FProbe.Ask(C.Address, {ExpectedTime(*C.Settings), milliseconds(0)},
                   [this](const StationProbe::Outcome& O) { FirstAnswer(O); });
    } catch (const std::exception& E) {
        return Finish(E.what());
    }
    RaiseGuarded(OnProgress, ScanProgress{*C.Settings, C.Address, FIndex, FResult.Total, TimeLeft(), FOptions.Link});
}

void ModuleScanner::FirstAnswer(const StationProbe::Outcome& O)
{
    if (FProbe.LineLost())
        return LineLost();
    const ProbeReading& R = O.Reading;
    if ((R.IsStation() || R.Kind == ProbeKind::DamagedReply) && !FCancel) {
        // Once more, taking everything until the line falls silent: a second reply from
        // another station at this address, or bytes around the reply, show only so. A
        // damaged reply gets its second chance the same way.
        const milliseconds Turnaround = FOptions.Turnaround;
        const milliseconds Wait = FOptions.Link.Tcp() ? 2 * ExpectedTime(O.Settings)
                                                      : O.Settings.LineTime(kRequestCharacters + 2 * kReplyCharacters) +
                                                            3 * Turnaround;
        const StationProbe::Timing Listen{Wait, Turnaround};
        try {
            FProbe.Ask(O.Address, Listen, [this, First = O](const StationProbe::Outcome& Second) {
                SecondAnswer(First, Second);
            });
        } catch (const std::exception& E) {
            Finish(E.what());
        }
        return;
    }
    const bool Found = Book(O);
    Next(Found);
}

void ModuleScanner::SecondAnswer(const StationProbe::Outcome& First, const StationProbe::Outcome& Second)
{
    if (FProbe.LineLost())
        return LineLost();
    bool Found = false;
    if (Second.Reading.IsStation()) {
        Found = Book(Second);
    } else {
        // The first answer stands as it was read; the second adds what it saw.
        Found = Book(First);
        if (Second.Reading.Kind != ProbeKind::Silent && Second.Reading.Kind != First.Reading.Kind)
            Book(Second);
    }
    Next(Found);
}

void ModuleScanner::Next(bool Found)
{
    FExpectedDone += ExpectedTime(*At(FIndex).Settings);
    ++FIndex;
    FResult.Done = FIndex;
    if (Found && FOptions.StopAtFirst)
        return Finish();
    Step();
}

bool ModuleScanner::Book(const StationProbe::Outcome& O)
{
    const ProbeReading& R = O.Reading;
    if (R.EchoBefore)
        AddDisturbance(O, DisturbanceKind::Echo);
    if (R.StrayBefore || R.StrayAfter || R.Kind == ProbeKind::StrayBytes)
        AddDisturbance(O, DisturbanceKind::StrayBytes);
    switch (R.Kind) {
    case ProbeKind::Reply:
    case ProbeKind::ExceptionReply:
        if (R.SecondReply) {
            // Neither of the two can be told from the other at this address.
            AddDisturbance(O, DisturbanceKind::TwoStations);
            return false;
        } else {
            FoundStation S;
            S.Address = O.Address;
            S.Settings = O.Settings;
            S.Link = FOptions.Link;
            if (R.Kind == ProbeKind::Reply)
                S.SerialNumber = R.SerialNumber;
            else
                S.ExceptionCode = R.ExceptionCode;
            FResult.Stations.push_back(S);
            RaiseGuarded(OnStationFound, S);
            return true;
        }
    case ProbeKind::DamagedReply: AddDisturbance(O, DisturbanceKind::DamagedReply); break;
    case ProbeKind::ForeignFrame: AddDisturbance(O, DisturbanceKind::ForeignFrame); break;
    case ProbeKind::Silent:
    case ProbeKind::Echo:
    case ProbeKind::StrayBytes: break;
    }
    return false;
}

void ModuleScanner::AddDisturbance(const StationProbe::Outcome& O, DisturbanceKind Kind)
{
    LineDisturbance D;
    D.Kind = Kind;
    D.Address = O.Address;
    D.Settings = O.Settings;
    D.Link = FOptions.Link;
    D.Bytes = O.Received;
    D.FrameAddress = O.Reading.FrameAddress;
    if (Kind == DisturbanceKind::TwoStations) {
        if (O.Reading.Kind == ProbeKind::Reply)
            D.Serial = O.Reading.SerialNumber;
        D.SecondSerial = O.Reading.SecondSerial;
    }
    FResult.Disturbances.push_back(D);
    RaiseGuarded(OnDisturbance, D);
}

void ModuleScanner::LineLost()
{
    if (!FOptions.Link.Tcp())
        return Finish("la porta seriale non risponde più");
    FResult.Unreachable = FProbe.Unreachable();
    Finish(FProbe.LostGatewayLine());
}

void ModuleScanner::Finish(std::string Error)
{
    FProbe.Close();
    FBusy = false;
    FCancel = false;
    FResult.Error = std::move(Error);
    // A copy: the handler may start the next search, which starts a new result.
    const ScanResult Result = FResult;
    RaiseGuarded(OnFinished, Result);
}

}  // namespace veltro::core
