#include "app/MainMenu.h"

#include "core/Exports.h"
#include "app/FormMain.h"
#include "app/Guard.h"
#include "core/JobRecord.h"
#include "core/Exports.h"
#include "app/PageConfig.h"
#include "app/PageMonitor.h"
#include "core/TextFile.h"

#include <QDateTime>
#include <QDesktopServices>
#include <QDir>
#include <QFileDialog>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QStandardPaths>
#include <QUrl>

namespace veltro::app {

using namespace core;

namespace {

QString Stamp()
{
    return QDateTime::currentDateTime().toString(QStringLiteral("yyyy-MM-dd_HHmmss"));
}

// The file to write, asked of the user; empty when the dialog was cancelled.
QString AskFileName(QWidget* parent, const QString& caption, const QString& name, const QString& filter,
                    const QString& suffix)
{
    QString folder = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
    if (folder.isEmpty() || !QDir(folder).exists())
        folder = QDir::homePath();
    QFileDialog dialog(parent, caption, QDir(folder).filePath(name), filter);
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setDefaultSuffix(suffix);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return {};
    return dialog.selectedFiles().first();
}

void Save(const QString& path, const QByteArray& content)
{
    const SaveOutcome saved = SaveFileAtomically(path, content);
    if (!saved.ok)
        ShowErrorBox(QStringLiteral("Impossibile salvare il file %1: %2.").arg(path, saved.error));
}

void OpenRecordsFolder()
{
    const QString folder = RecordsFolder();
    if (!QDir().mkpath(folder) || !QDesktopServices::openUrl(QUrl::fromLocalFile(folder)))
        ShowErrorBox(QStringLiteral("Impossibile aprire la cartella dei rapporti %1.").arg(folder));
}

void SaveCommunicationLog(TfrmMain& window)
{
    const PageMonitor& page = *window.tabTest();
    const QString path = AskFileName(&window, QStringLiteral("Salva il registro di comunicazione"),
                                     QStringLiteral("comunicazione_%1.txt").arg(Stamp()),
                                     QStringLiteral("File di testo (*.txt);;Tutti i file (*)"), QStringLiteral("txt"));
    // Gathered once the file is chosen: polling goes on while the dialog is open.
    if (!path.isEmpty())
        Save(path, CommunicationLogText(page.CommunicationLog(), page.StatisticsLines(),
                                        QDateTime::currentDateTime()).toUtf8());
}

void ExportValues(TfrmMain& window)
{
    const QString path = AskFileName(&window, QStringLiteral("Esporta i valori in CSV"),
                                     QStringLiteral("valori_%1.csv").arg(Stamp()),
                                     QStringLiteral("File CSV (*.csv);;Tutti i file (*)"), QStringLiteral("csv"));
    if (!path.isEmpty())
        Save(path, ToCsv(window.tabTest()->ValuesOnScreen(), QLocale()));
}

void ShowAbout(TfrmMain& window)
{
    QMessageBox::about(&window, QStringLiteral("Informazioni su VeltroConf"),
                       QStringLiteral("<p><b>VeltroConf %1</b></p>"
                                      "<p>Configurazione e controllo dei moduli Modbus/RTU dei contatori.</p>"
                                      "<p>Copyright © The VeltroConf authors<br>"
                                      "Distribuito con licenza MIT.</p>")
                           .arg(QStringLiteral(VELTRO_VERSION)));
}

QAction* AddItem(QMenu* menu, const char* name, const QString& text, std::function<void()> handler)
{
    QAction* action = menu->addAction(text);
    action->setObjectName(QString::fromLatin1(name));
    QObject::connect(action, &QAction::triggered, menu, Guarded(std::move(handler)));
    return action;
}

}  // namespace

QMenuBar* CreateMainMenu(TfrmMain& window)
{
    auto* bar = new QMenuBar(&window);
    bar->setObjectName(QStringLiteral("mainMenu"));
    QMenu* file = bar->addMenu(QStringLiteral("&File"));
    file->setObjectName(QStringLiteral("menuFile"));
    AddItem(file, "actOpenRecords", QStringLiteral("Apri la cartella dei &rapporti"), OpenRecordsFolder);
    QList<QAction*> dialogs;
    dialogs << AddItem(file, "actSaveLog", QStringLiteral("&Salva il registro di comunicazione..."),
                       [&window] { SaveCommunicationLog(window); });
    dialogs << AddItem(file, "actExportCsv", QStringLiteral("Esporta i &valori in CSV..."),
                       [&window] { ExportValues(window); });
    file->addSeparator();
    // Quitting follows the window's close rule: polling is stopped first.
    QAction* quit = AddItem(file, "actQuit", QStringLiteral("&Esci"), [&window] { window.close(); });
    quit->setShortcut(QKeySequence::Quit);

    QMenu* help = bar->addMenu(QStringLiteral("&?"));
    help->setObjectName(QStringLiteral("menuHelp"));
    dialogs << AddItem(help, "actAbout", QStringLiteral("&Informazioni su VeltroConf"),
                       [&window] { ShowAbout(window); });

    const auto update = [&window, dialogs] {
        const bool free = !window.tabConfig()->RunInProgress();
        for (QAction* action : dialogs)
            action->setEnabled(free);
    };
    QObject::connect(file, &QMenu::aboutToShow, bar, update);
    QObject::connect(help, &QMenu::aboutToShow, bar, update);
    return bar;
}

}  // namespace veltro::app
