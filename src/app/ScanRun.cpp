#include "app/ScanRun.h"

#include "app/Guard.h"
#include "app/LineUse.h"
#include "app/LinkField.h"
#include "app/PageMonitor.h"
#include "core/LostPort.h"
#include "core/PortHelp.h"
#include "core/ProbeTexts.h"
#include "app/UpDown.h"

#include "modbus/FieldwireError.h"

#include <QComboBox>

namespace veltro::app {

using namespace core;

namespace {

}  // namespace

ScanRun::ScanRun(PageMonitor& page) : page_(page) {}

ScanRun::~ScanRun()
{
    // The scanner first: it raises nothing once gone, so nothing reaches the dialogs.
    scanner_.reset();
    delete progress_;
    delete setup_;
}

ScanOptions ScanRun::Defaults() const
{
    ScanOptions options = last_.value_or(ScanOptions{});
    options.Port = page_.FLine.PortName();
    options.Link = page_.FLine.Link().value_or(ModuleLink{});
    return options;
}

void ScanRun::Begin()
{
    if (Busy())
        return;
    if (const QString refusal = page_.FLine.Refusal(LineJob::Scan); !refusal.isEmpty())
        return ShowNotice(&page_, refusal);
    if (!page_.FLine.Link())
        return ShowNotice(&page_, page_.FLink->Problem());
    setup_ = new ScanSetupDialog(page_.window(), page_.LineChoices(), Defaults());
    setup_->setAttribute(Qt::WA_DeleteOnClose);
    setup_->setWindowModality(Qt::WindowModal);
    QObject::connect(setup_, &QDialog::finished, &page_, [this, dialog = setup_.data()](int result) {
        // The dialog deletes itself once closed; the search's own dialog takes its place.
        setup_ = nullptr;
        if (result == QDialog::Accepted)
            RunGuarded([&] { Start(dialog->Options()); });
    });
    setup_->open();
}

void ScanRun::Start(const ScanOptions& options)
{
    if (!scanner_) {
        scanner_ = std::make_unique<ModuleScanner>();
        scanner_->OnProgress = [this](const ScanProgress& p) {
            if (progress_)
                progress_->ShowProgress(p);
        };
        scanner_->OnStationFound = [this](const FoundStation&) {
            if (progress_)
                progress_->ShowFinds(++stations_, disturbances_);
        };
        scanner_->OnDisturbance = [this](const LineDisturbance&) {
            if (progress_)
                progress_->ShowFinds(stations_, ++disturbances_);
        };
        scanner_->OnFinished = [this](const ScanResult& result) { Finished(result); };
    }
    last_ = options;
    try {
        scanner_->Start(options);
    } catch (const modbus::EFieldwireError&) {
        // The port cannot be opened; nothing has started.
        if (options.Link.Tcp())
            return ShowErrorBox(QStringLiteral("Ricerca non avviata: %1.")
                                    .arg(LostGatewayText(options.Link.Gateway, scanner_->PortError())));
        QString message = QStringLiteral("Ricerca non avviata: impossibile aprire la porta %1.")
                              .arg(QString::fromStdString(options.Port));
        if (const QString hint = AccessDeniedHint(options.Port); !hint.isEmpty())
            message += QStringLiteral("\n\n") + hint;
        return ShowErrorBox(message);
    }
    stations_ = disturbances_ = 0;
    if (options.Link.Tcp()) {
        page_.FLine.Take(LineJob::Scan, options.Link.Gateway);
        page_.AddLog(QString::fromStdString("Ricerca del modulo " + SearchScope(options.Settings, options.FirstAddress,
                                                                                options.LastAddress, options.Link)));
    } else {
        page_.FLine.Take(LineJob::Scan, options.Port);
        page_.AddLog(QString::fromStdString("Ricerca del modulo sulla porta " + options.Port + " " +
                                            SearchScope(options.Settings, options.FirstAddress, options.LastAddress)));
    }
    progress_ = new ScanProgressDialog(page_.window());
    progress_->setWindowModality(Qt::WindowModal);
    progress_->OnCancel = [this] {
        if (scanner_)
            scanner_->Cancel();
    };
    progress_->open();
}

void ScanRun::Finished(const ScanResult& result)
{
    CloseProgress();
    page_.FLine.Release(LineJob::Scan);
    for (const std::string& line : result.Lines())
        page_.AddLog(QString::fromStdString(line));
    if (!result.Stations.empty())
        Fill(result.Stations.front());
}

// The first station found is the one the page polls next.
void ScanRun::Fill(const FoundStation& station)
{
    if (station.Link.Tcp())
        page_.udMBAddress->SetPosition(station.Address);  // the gateway keeps its own line settings
    else
        page_.UseModule(station.Address, station.Settings);
}

void ScanRun::CloseProgress()
{
    if (progress_) {
        progress_->hide();
        progress_->deleteLater();
        progress_ = nullptr;
    }
}

void ScanRun::Stop()
{
    if (setup_)
        setup_->close();
    if (scanner_ && scanner_->Busy()) {
        scanner_.reset();  // closes the port; no event follows
        page_.AddLog(QStringLiteral("Ricerca del modulo interrotta"));
    }
    CloseProgress();
    page_.FLine.Release(LineJob::Scan);
}

}  // namespace veltro::app
