#pragma once
// "Cerca modulo" on the "Controllo" page: the setup dialog, then the search on the page's
// RS485 port with its progress dialog, then the result in the page's log and the first
// station found in the page's address and line-settings fields. The search runs on the
// Modbus worker and moves on posted events; the dialogs are opened without event loops
// of their own, so the window stays responsive and no handler is entered twice.

#include "core/ModuleScanner.h"
#include "app/ScanDialogs.h"

#include <QPointer>

#include <memory>
#include <optional>

namespace veltro::app {

using namespace core;

class PageMonitor;

class ScanRun {
public:
    explicit ScanRun(PageMonitor& page);
    ~ScanRun();  // ends a search at once (the port is closed), closes the dialogs
    ScanRun(const ScanRun&) = delete;
    ScanRun& operator=(const ScanRun&) = delete;

    // The button: refused while another job holds the port, else the setup dialog.
    void Begin();
    // The window closes: the search ends now, its port closed, without a result.
    void Stop();
    // From the setup dialog until the search's result is shown.
    bool Busy() const { return setup_ || (scanner_ && scanner_->Busy()); }

    ScanSetupDialog* SetupDialog() const { return setup_; }
    ScanProgressDialog* ProgressDialog() const { return progress_; }

private:
    ScanOptions Defaults() const;
    void Start(const ScanOptions& options);
    void Finished(const ScanResult& result);
    void Fill(const FoundStation& station);
    void CloseProgress();

    PageMonitor& page_;
    std::unique_ptr<ModuleScanner> scanner_;
    QPointer<ScanSetupDialog> setup_;
    QPointer<ScanProgressDialog> progress_;
    std::optional<ScanOptions> last_;  // the choices of the last search, offered again
    int stations_ = 0, disturbances_ = 0;
};

}  // namespace veltro::app
