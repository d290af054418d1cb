#pragma once
// The two dialogs of the module search on "Controllo": the choice of the addresses and
// line settings to try, and the search's progress with its "Annulla". Both block the
// window while they are open (window-modal) but are shown without an event loop of their
// own: the search moves on events that must keep flowing, and no handler may be entered
// again from inside a dialog.

#include "core/ModuleScanner.h"

#include <QDialog>
#include <QStringList>

#include <functional>
#include <vector>

class QCheckBox;
class QLabel;
class QProgressBar;
class QPushButton;
class QRadioButton;
class QSpinBox;

namespace veltro::app {

using namespace core;

// The lists the search may walk, as the page's drop-down lists name them.
struct ScanChoices {
    QStringList Rates;     // "19200", "9600", ...
    QStringList Parities;  // "Nessuna", "Pari", "Dispari"
    QStringList StopBits;  // "1", "2"
};

class ScanSetupDialog : public QDialog {
public:
    // One box per value of choices, ticked when options' settings use it; "Cerca"
    // accepts the dialog.
    ScanSetupDialog(QWidget* parent, const ScanChoices& choices, const ScanOptions& options);
    // The options chosen; the port and turnaround are those given.
    ScanOptions Options() const;

    QSpinBox* spinScanFirst;
    QSpinBox* spinScanLast;
    std::vector<QCheckBox*> chkScanRates, chkScanParities, chkScanStopBits;
    QRadioButton* rbScanStopAtFirst;
    QRadioButton* rbScanContinue;
    QLabel* lblScanEstimate;
    QPushButton* btnScanStart;
    QPushButton* btnScanCancel;

private:
    // The candidates and the longest time they can take; "Cerca" only for a search that
    // has something to try.
    void ShowEstimate();
    ScanOptions options_;
};

class ScanProgressDialog : public QDialog {
public:
    explicit ScanProgressDialog(QWidget* parent);

    void ShowProgress(const ScanProgress& progress);
    void ShowFinds(int stations, int disturbances);
    // "Annulla", Esc or the close button: asked once; the dialog stays up until the search
    // has ended and its owner closes it.
    std::function<void()> OnCancel;
    bool CancelAsked() const { return cancelAsked_; }

    QLabel* lblScanProgress;
    QLabel* lblScanFinds;
    QProgressBar* barScanProgress;
    QPushButton* btnScanAbort;

    void reject() override;

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void AskCancel();
    bool cancelAsked_ = false;
};

}  // namespace veltro::app
