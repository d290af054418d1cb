#pragma once
// "3. Verifica" on the "Configurazione" page: after a successful read or write run, the
// module is asked over the RS485 port of the "Controllo" page, at the address and with
// the line settings the run read or wrote, for the serial number it carries; the answer
// is compared with the meter's serial number read through the optical port. The steps go
// to the write log, the last line says the outcome. The check runs on the Modbus worker
// and moves on posted events, so the window stays responsive while it runs.

#include "core/ConfigVerifier.h"
#include "core/ModuleDefaults.h"
#include "app/PageConfig.h"

#include <functional>
#include <memory>
#include <optional>
#include <string>

namespace veltro::app {

using namespace core;

class LineUse;

class VerifyRun {
public:
    explicit VerifyRun(PageConfig& page);
    ~VerifyRun();  // ends a check at once, its port closed
    VerifyRun(const VerifyRun&) = delete;
    VerifyRun& operator=(const VerifyRun&) = delete;

    // The port's holder list; without one no port is known and the check cannot run.
    void SetLine(LineUse* line) { line_ = line; }
    // A read or write run has ended: a successful one is what the next check checks.
    void RunFinished(const ConfigRunResult& run);
    // A successful run to check and a port to check it on.
    bool Available() const { return last_.has_value() && line_; }

    // The button: refused while another job holds the port, else the check starts.
    void Begin();
    // The window closes: the check ends now, its port closed.
    void Stop();
    bool Busy() const { return verifier_ && verifier_->Busy(); }

    // Raised when a check starts (true) and when it has ended (false).
    std::function<void(bool busy)> OnBusy;
    std::optional<TVerifyOutcome> LastOutcome() const { return outcome_; }
    // The module the last check proved (it answered and carries the meter's serial
    // number), while no run or check has come since; else nothing.
    std::optional<ModuleTarget> ProvenModule() const;

    // Attempts and time-out of each read; the defaults suit a real module.
    int Attempts = 3;
    std::chrono::milliseconds ReceiveTimeout{1000};

private:
    void Log(const std::string& line);
    void Finished(TVerifyOutcome outcome);

    PageConfig& page_;
    LineUse* line_ = nullptr;
    std::optional<ConfigRunResult> last_;
    std::unique_ptr<ConfigVerifier> verifier_;
    std::optional<TVerifyOutcome> outcome_;
    ModuleTarget checked_;  // where the last check asked
};

}  // namespace veltro::app
