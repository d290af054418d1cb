// Writes a picture of each page of the main window into a folder, for the README: the
// configuration page after a read of the simulated meter and the check of the module at
// what was read, the monitoring page polling
// the simulated module while recording, its trend filled by half a minute of cycles, the
// decoding page with its sample values. Runs offscreen.
#include "app/FormMain.h"
#include "app/LogLines.h"
#include "app/PageConfig.h"
#include "app/PageControl.h"
#include "app/PageDecode.h"
#include "app/PageMonitor.h"
#include "app/VerifyRun.h"
#include "platform/QtUiDispatcher.h"
#include "simulator/Simulator.h"

#include <QApplication>
#include <QDir>
#include <QLineEdit>
#include <QLocale>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>

#include <cstdio>

namespace {

bool Save(QWidget& window, const QDir& dir, const char* name)
{
    QApplication::processEvents();
    const QString file = dir.filePath(QString::fromLatin1(name));
    if (window.grab().save(file))
        return true;
    std::fprintf(stderr, "impossibile scrivere %s\n", qPrintable(file));
    return false;
}

bool ShowReadAndCheck(veltro::app::TfrmMain& window, int modulePort)
{
    veltro::app::PageConfig& page = *window.tabConfig();
    window.pageControl()->setCurrentWidget(&page);
    page.editCommIdent->setText(QStringLiteral("12345678"));
    page.btnReadConfig->click();  // runs to its end; the log shows every step
    // The check runs on the module's port, the one "Controllo" names.
    window.tabTest()->editComPort->setText(QString::number(modulePort));
    page.btnVerifyConfig->click();
    return QTest::qWaitFor([&] { return !page.FVerify->Busy(); }, 20000) &&
           page.FVerify->LastOutcome() == veltro::core::voMatch;
}

bool ShowPolling(veltro::app::TfrmMain& window, int modulePort)
{
    veltro::app::PageMonitor& page = *window.tabTest();
    window.pageControl()->setCurrentWidget(&page);
    page.editComPort->setText(QString::number(modulePort));
    page.editMBAddress->setText(QStringLiteral("178"));  // the automatic address of serial 12345678
    page.btnStartStop->click();
    // Two full rounds of the three blocks, so every value on the page is live; then
    // recording, and half a minute of cycles for the trend to draw.
    bool live = QTest::qWaitFor([&] { return page.FStats.FResponses >= 6; }, 20000);
    page.btnRecord->click();
    live = live && QTest::qWaitFor([&] { return page.FStats.FResponses >= 130; }, 90000);
    page.FLogLines->PaintNow();  // the log paints at its own pace; the picture shows it now
    return live;
}

void ShowSamples(veltro::app::TfrmMain& window)
{
    veltro::app::PageDecode& page = *window.TabSheet1();
    window.pageControl()->setCurrentWidget(&page);
    page.btnSampleValuesClick();
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc < 2) {
        std::fprintf(stderr, "uso: %s <cartella>\n", argv[0]);
        return 2;
    }
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("VeltroConf"));
    veltro::app::TfrmMain::UseWindowFont();
    QLocale::setDefault(QLocale(QLocale::Italian, QLocale::Italy));
    veltro::platform::QtUiDispatcher dispatcher;
    veltro::platform::InstallUiDispatcher(&dispatcher);

    // Settings and job records of a private session: the pictures start from the
    // defaults and leave nothing in the user's own folders.
    QTemporaryDir home;
    qputenv("XDG_CONFIG_HOME", home.filePath(QStringLiteral("config")).toUtf8());
    qputenv("XDG_DATA_HOME", home.filePath(QStringLiteral("data")).toUtf8());
    // The simulated devices on private ports, found through the override directory.
    QTemporaryDir ports;
    qputenv("VELTRO_PORT_DIR", ports.path().toLocal8Bit());
    veltro::sim::SimulatorOptions options;
    options.portDir = ports.path().toStdString();
    veltro::sim::Simulator simulator(options);
    simulator.Start();

    const QDir dir(QString::fromLocal8Bit(argv[1]));
    bool ok = true;
    {
        veltro::app::TfrmMain window;
        window.show();
        window.resize(window.OpeningSize(QSize(1920, 1080)));  // as on a desktop screen, pages known in full
        if (!ShowReadAndCheck(window, options.modulePort)) {
            std::fprintf(stderr, "la verifica sul modulo simulato non è riuscita\n");
            ok = false;
        }
        ok &= Save(window, dir, "configurazione.png");
        ShowSamples(window);
        ok &= Save(window, dir, "decodifica.png");
        if (!ShowPolling(window, options.modulePort)) {
            std::fprintf(stderr, "il modulo simulato non ha risposto\n");
            ok = false;
        }
        ok &= Save(window, dir, "controllo.png");
        window.close();  // stops polling
    }
    simulator.Stop();
    veltro::platform::InstallUiDispatcher(nullptr);
    return ok ? 0 : 1;
}
