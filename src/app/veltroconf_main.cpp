// Program entry: the application object, its title, the main window, the message loop.
#include "app/FormMain.h"
#include "app/Glyphs.h"
#include "app/Guard.h"
#include "platform/QtUiDispatcher.h"

#include <QApplication>
#include <QFont>

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("VeltroConf"));
    QApplication::setWindowIcon(veltro::app::AppIcon());
    QGuiApplication::setDesktopFileName(QStringLiteral("veltroconf"));
    // The window is laid out for a small 8-point sans-serif face.
    QFont::insertSubstitution(QStringLiteral("MS Sans Serif"), QStringLiteral("DejaVu Sans"));
    QApplication::setFont(QFont(QStringLiteral("MS Sans Serif"), 8));

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
