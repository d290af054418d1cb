#include "app/VerifyRun.h"

#include "app/LineUse.h"


namespace veltro::app {

using namespace core;

VerifyRun::VerifyRun(PageConfig& page) : page_(page) {}

VerifyRun::~VerifyRun() = default;

std::optional<ModuleTarget> VerifyRun::ProvenModule() const
{
    if (outcome_ != voMatch)
        return std::nullopt;
    return checked_;
}

void VerifyRun::RunFinished(const ConfigRunResult& run)
{
    outcome_.reset();  // what it proved was the module before this run
    if (run.success)
        last_ = run;
    else
        last_.reset();
}

void VerifyRun::Begin()
{
    if (Busy() || !Available())
        return;
    if (const QString refusal = line_->Refusal(LineJob::Verify); !refusal.isEmpty())
        return ShowNotice(&page_, refusal);
    const std::string serial = page_.MeterSerial().toStdString();
    const ModuleTarget module = TargetOfRun(*last_, serial);
    checked_ = module;
    VerifyTarget target;
    target.Port = line_->PortName();
    if (const auto link = line_->Link ? line_->Link() : std::optional<ModuleLink>(ModuleLink{}); link)
        target.Link = *link;
    else
        return Log("Verifica non avviata: l'indirizzo del gateway indicato in \"Controllo\" non è valido");
    target.Address = module.Address;
    target.Settings = module.Settings;
    target.ExpectedSerial = serial;
    target.Attempts = Attempts;
    target.ReceiveTimeout = ReceiveTimeout;

    if (!verifier_) {
        verifier_ = std::make_unique<ConfigVerifier>();
        verifier_->OnLog = [this](const std::string& line) { Log(line); };
        verifier_->OnFinished = [this](TVerifyOutcome outcome, const std::string&) { Finished(outcome); };
    }
    outcome_.reset();
    Log(last_->write ? "Verifica della configurazione scritta" : "Verifica della configurazione letta");
    if (module.AutomaticAddress)
        Log("Indirizzo automatico del modulo: " + std::to_string(module.Address));
    if (module.DefaultSettings)
        Log("Impostazioni predefinite del modulo: " + module.Settings.Text());
    verifier_->Start(target);
    line_->Take(LineJob::Verify, target.Link.Tcp() ? target.Link.Gateway : target.Port);
    if (OnBusy)
        OnBusy(true);
}

void VerifyRun::Log(const std::string& line)
{
    page_.AppendRunLog(true, QString::fromStdString(line));
}

void VerifyRun::Finished(TVerifyOutcome outcome)
{
    outcome_ = outcome;
    if (line_)
        line_->Release(LineJob::Verify);
    if (OnBusy)
        OnBusy(false);
}

void VerifyRun::Stop()
{
    if (!Busy())
        return;
    verifier_.reset();  // closes the port; no event follows
    Log("Verifica interrotta");
    if (line_)
        line_->Release(LineJob::Verify);
    if (OnBusy)
        OnBusy(false);
}

}  // namespace veltro::app
