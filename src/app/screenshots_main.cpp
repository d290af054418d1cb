// Writes a picture of each page of the main window into a folder, for the README.
// Runs on any Qt platform; scripts/screenshots uses the offscreen one.
#include "app/FormMain.h"
#include "app/Guard.h"
#include "app/PageControl.h"
#include "platform/QtUiDispatcher.h"

#include <QApplication>
#include <QDir>
#include <QFont>
#include <QLocale>

#include <cstdio>

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    if (argc < 2) {
        std::fprintf(stderr, "uso: %s <cartella>\n", argv[0]);
        return 2;
    }
    QApplication::setApplicationName(QStringLiteral("VeltroConf"));
    QFont::insertSubstitution(QStringLiteral("MS Sans Serif"), QStringLiteral("DejaVu Sans"));
    QApplication::setFont(QFont(QStringLiteral("MS Sans Serif"), 8));
    QLocale::setDefault(QLocale(QLocale::Italian, QLocale::Italy));
    veltro::platform::QtUiDispatcher dispatcher;
    veltro::platform::InstallUiDispatcher(&dispatcher);

    const QDir dir(QString::fromLocal8Bit(argv[1]));
    int rc = 0;
    {
        veltro::app::TfrmMain window;
        window.show();
        const char* names[] = {"configurazione.png", "controllo.png", "decodifica.png"};
        for (int page = 0; page < 3; ++page) {
            window.pageControl()->setCurrentIndex(page);
            QApplication::processEvents();
            const QString file = dir.filePath(QString::fromLatin1(names[page]));
            if (!window.grab().save(file)) {
                std::fprintf(stderr, "impossibile scrivere %s\n", qPrintable(file));
                rc = 1;
            }
        }
    }
    veltro::platform::InstallUiDispatcher(nullptr);
    return rc;
}
