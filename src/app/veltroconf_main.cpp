// Program entry: the application object, its title, the main window, the message loop.
#include "app/FormMain.h"
#include "app/Glyphs.h"
#include "app/Guard.h"
#include "platform/QtUiDispatcher.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QEvent>
#include <QTimer>

#include <cstdio>

namespace {

// With VELTRO_REPORT_STARTUP=1 the program prints on stderr how long it took from main()
// to the end of the window's first paint; the start-up figure of scripts/bench.
class StartupReport : public QObject {
public:
    StartupReport() { clock_.start(); }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() == QEvent::Paint && !reported_) {
            reported_ = true;
            // Queued, so it runs once this paint and its siblings have been flushed.
            QTimer::singleShot(0, this, [this] {
                std::fprintf(stderr, "startup: first paint after %lld ms\n", static_cast<long long>(clock_.elapsed()));
                std::fflush(stderr);
                qApp->removeEventFilter(this);
            });
        }
        return QObject::eventFilter(watched, event);
    }

private:
    QElapsedTimer clock_;
    bool reported_ = false;
};

}  // namespace

int main(int argc, char** argv)
{
    StartupReport startup;
    QApplication app(argc, argv);
    if (qEnvironmentVariableIntValue("VELTRO_REPORT_STARTUP") == 1)
        app.installEventFilter(&startup);
    QApplication::setApplicationName(QStringLiteral("VeltroConf"));
    QApplication::setWindowIcon(veltro::app::AppIcon());
    QGuiApplication::setDesktopFileName(QStringLiteral("veltroconf"));
    veltro::app::TfrmMain::UseWindowFont();

    veltro::platform::QtUiDispatcher dispatcher;
    veltro::platform::InstallUiDispatcher(&dispatcher);
    veltro::app::InstallErrorDisplay();

    int rc = 0;
    {
        veltro::app::TfrmMain window;
        window.show();
        rc = QApplication::exec();
    }
    veltro::platform::InstallUiDispatcher(nullptr);
    return rc;
}
