#include "app/FormMain.h"

#include "app/Guard.h"
#include "app/MainMenu.h"
#include "app/PageConfig.h"
#include "app/PageControl.h"
#include "app/PageDecode.h"
#include "app/PageMonitor.h"
#include "app/RunRecords.h"
#include "app/ScanRun.h"
#include "app/VerifyRun.h"
#include "app/WindowSettings.h"
#include "platform/PortWatcher.h"

#include <QApplication>
#include <QCloseEvent>
#include <QShowEvent>
#include <QFont>
#include <QGuiApplication>
#include <QMenuBar>
#include <QScreen>
#include <QTimer>
#include <QVBoxLayout>

namespace veltro::app {

TfrmMain::TfrmMain(QWidget* parent)
    : QWidget(parent, Qt::Window),
      PageControl_(new PageControl(this)), tabConfig_(new PageConfig), tabTest_(new PageMonitor),
      TabSheet1_(new PageDecode), portWatcher_(new platform::PortWatcher(this))
{
    setObjectName(QStringLiteral("frmMain"));
    setWindowTitle(QStringLiteral("Configurazione / Controllo moduli Veltro"));
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setMenuBar(CreateMainMenu(*this));
    layout->addWidget(PageControl_);

    PageControl_->setObjectName(QStringLiteral("PageControl"));
    tabConfig_->setObjectName(QStringLiteral("tabConfig"));
    tabTest_->setObjectName(QStringLiteral("tabTest"));
    TabSheet1_->setObjectName(QStringLiteral("TabSheet1"));
    PageControl_->addTab(tabConfig_, QStringLiteral("Configurazione"));
    PageControl_->addTab(tabTest_, QStringLiteral("Controllo"));
    PageControl_->addTab(TabSheet1_, QStringLiteral("Decodifica"));
    PageControl_->SetOnChanging([this](bool& allow) { PageControlChanging(allow); });

    if (const QScreen* screen = QGuiApplication::primaryScreen()) {
        resize(OpeningSize(ClientRoom()));
        move(screen->availableGeometry().center() - rect().center());
    }
    FormCreate();

    // The labels look again only when the watcher saw a port come or go, never per poll.
    portWatcher_->SetOnChanged([this] {
        tabConfig_->RefreshPortLabel();
        tabTest_->RefreshPortLabel();
    });
    tabConfig_->OnRunFinished = [this](const ConfigRunResult& run) { RecordRun(*tabConfig_, run); };
    // The configuration check uses the RS485 port of "Controllo", one job at a time.
    tabConfig_->SetRs485Line(&tabTest_->FLine);
    tabConfig_->OnUseModule = [this](int address, const RtuSettings& settings) {
        tabTest_->UseModule(address, settings);
        PageControl_->setCurrentWidget(tabTest_);
    };
    ApplySettings(*this, LoadSettings());
}

QSize TfrmMain::OpeningSize(const QSize& room) const
{
    return sizeHint().expandedTo(QSize(kClientWidth, kClientHeight)).boundedTo(room).expandedTo(minimumSizeHint());
}

QSize TfrmMain::FittingSize(const QSize& wanted) const
{
    return wanted.boundedTo(ClientRoom()).expandedTo(minimumSizeHint());
}

QSize TfrmMain::ClientRoom()
{
    // The frame is the window manager's and unknown before the window is shown: a title
    // bar and thin borders are allowed for.
    constexpr QSize kFrame(16, 40);
    const QScreen* screen = QGuiApplication::primaryScreen();
    return screen ? screen->availableGeometry().size() - kFrame : QSize(QWIDGETSIZE_MAX, QWIDGETSIZE_MAX);
}

void TfrmMain::UseKeptSize(const QSize& size)
{
    sizeKept_ = true;
    resize(FittingSize(size));
}

void TfrmMain::showEvent(QShowEvent* event)
{
    QWidget::showEvent(event);
    if (shown_)
        return;
    shown_ = true;
    // Some pages know their full size only once shown (the values' scroll area with
    // them): the window opens as large as they then ask, within the screen, never
    // smaller than it was made before.
    if (!sizeKept_) {
        const QSize room = ClientRoom().expandedTo(minimumSizeHint());
        resize(size().expandedTo(OpeningSize(ClientRoom())).boundedTo(room));
    }
}

void TfrmMain::UseWindowFont(double scale)
{
    QFont::insertSubstitution(QStringLiteral("MS Sans Serif"), QStringLiteral("DejaVu Sans"));
    QFont font(QStringLiteral("MS Sans Serif"));
    font.setPointSizeF(8 * scale);
    QApplication::setFont(font);
}

// The poll timer lives with the page it drives.
QTimer* TfrmMain::Timer1() const
{
    return tabTest_->Timer1;
}

void TfrmMain::FormCreate()
{
    PageControl_->setCurrentWidget(tabTest_);
}

void TfrmMain::PageControlChanging(bool& allowChange) const
{
    if (tabTest_->FRunning)
        allowChange = false;
}

void TfrmMain::FormCloseQuery(bool&)
{
    // Closing while polling stops it first, which also closes the Modbus port; a module
    // search or a configuration check ends at once, its port closed. The window closes
    // either way.
    tabTest_->StopIfPolling();
    tabTest_->FScan->Stop();
    tabConfig_->FVerify->Stop();
}

void TfrmMain::closeEvent(QCloseEvent* event)
{
    bool canClose = true;
    RunGuarded([&] { FormCloseQuery(canClose); });
    if (canClose) {
        // A settings file that cannot be written is no reason to keep the window open.
        RunGuarded([&] { SaveSettings(SettingsOf(*this)); });
        event->accept();
    } else {
        event->ignore();
    }
}

}  // namespace veltro::app
