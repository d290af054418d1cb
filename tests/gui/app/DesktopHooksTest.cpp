// The window as a desktop program: port labels and pickers following the adapters,
// settings kept between runs, a job record after every configuration run, the menu bar.
// Each test has config and data folders of its own (the GUI tests' main sees to it).
#include "app/FormMain.h"
#include "core/JobRecord.h"
#include "app/PageConfig.h"
#include "app/PageControl.h"
#include "app/PageMonitor.h"
#include "app/PortField.h"
#include "core/SettingsStore.h"
#include "app/UpDown.h"
#include "gui/ModalBox.h"
#include "platform/PortCatalog.h"
#include "simulator/Simulator.h"
#include "support/PtyPair.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDesktopServices>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QToolButton>
#include <QUrl>
#include <gtest/gtest.h>

#include <functional>
#include <memory>

using namespace veltro;

namespace {

// Numbers no serial device of the machine running the tests takes.
constexpr int kPortA = 190;
constexpr int kPortB = 191;

QString ReadAll(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
}

QString PtyLabel(const test::PtyPair& pty)
{
    return QString::fromStdString(pty.SlavePath()) + QStringLiteral(" — terminale virtuale");
}

// Runs fn once the popup menu or modal dialog a click is about to open has appeared.
void WhenOpen(std::function<bool()> fn)
{
    auto* timer = new QTimer;
    timer->setInterval(5);
    QObject::connect(timer, &QTimer::timeout, [timer, fn] {
        if (fn())
            timer->deleteLater();
    });
    timer->start();
}

// Picks the line of the port picker's list that starts with "COMn — ".
void PickFromList(int number)
{
    WhenOpen([number] {
        auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
        if (!menu)
            return false;
        for (QAction* action : menu->actions())
            if (action->text().startsWith(QStringLiteral("COM%1 — ").arg(number)))
                action->trigger();
        menu->close();
        return true;
    });
}

// Answers the next file dialog with path.
void AnswerFileDialog(const QString& path)
{
    WhenOpen([path] {
        auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
        if (!dialog)
            return false;
        dialog->selectFile(path);
        static_cast<QDialog*>(dialog)->accept();  // QFileDialog::accept, as the Save button does
        return true;
    });
}

class Desktop : public ::testing::Test {
protected:
    void Open()
    {
        window = std::make_unique<app::TfrmMain>();
        window->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(window.get()));
    }
    app::PageConfig& config() { return *window->tabConfig(); }
    app::PageMonitor& monitor() { return *window->tabTest(); }
    QAction* Action(const char* name) { return window->findChild<QAction*>(QString::fromLatin1(name)); }
    bool WriteControlsAsAtStart()
    {
        return config().btnWriteConfig->isEnabled() && !config().grpServerAddress->isEnabled() &&
               !config().grpMBSerialConfig->isEnabled();
    }

    test::PortDir ports;
    std::unique_ptr<app::TfrmMain> window;
};

}  // namespace

TEST_F(Desktop, PortLabelsNameTheDeviceAndFollowEntriesAddedRemovedAndSwapped)
{
    test::PtyPair a, b;
    ports.Publish(kPortA, a.SlavePath());
    ASSERT_NO_FATAL_FAILURE(Open());
    app::DeviceLabel* iec = config().lblIECComPortDevice;
    app::DeviceLabel* modbus = monitor().lblComPortDevice;
    EXPECT_EQ(iec->objectName(), "lblIECComPortDevice");
    EXPECT_EQ(modbus->objectName(), "lblComPortDevice");

    config().editIECComPort->setText(QString::number(kPortA));
    EXPECT_EQ(iec->FullText(), PtyLabel(a));
    monitor().editComPort->setText(QString::number(kPortB));
    EXPECT_EQ(modbus->FullText(), "Nessun dispositivo");

    // Plugged in and pulled out while the window is open.
    ports.Publish(kPortB, b.SlavePath());
    EXPECT_TRUE(QTest::qWaitFor([&] { return modbus->FullText() == PtyLabel(b); }, 5000));
    ports.Unpublish(kPortA);
    EXPECT_TRUE(QTest::qWaitFor([&] { return iec->FullText() == "Nessun dispositivo"; }, 5000));

    // Two adapters swapped: each label names the device that now answers to its number.
    ports.Publish(kPortA, b.SlavePath());
    ports.Unpublish(kPortB);
    ports.Publish(kPortB, a.SlavePath());
    EXPECT_TRUE(QTest::qWaitFor([&] { return iec->FullText() == PtyLabel(b) && modbus->FullText() == PtyLabel(a); },
                                5000));
}

TEST_F(Desktop, ThePickerListsThePresentPortsAndFillsInTheNumberPicked)
{
    test::PtyPair a;
    ports.Publish(kPortA, a.SlavePath());
    ASSERT_NO_FATAL_FAILURE(Open());
    window->pageControl()->setCurrentWidget(&config());
    QToolButton* picker = config().btnIECComPortList;
    EXPECT_EQ(picker->objectName(), "btnIECComPortList");
    EXPECT_EQ(monitor().btnComPortList->objectName(), "btnComPortList");
    EXPECT_FALSE(picker->toolTip().isEmpty());
    config().EnableWriteControls(true);  // as after a read

    PickFromList(kPortA);
    QTest::mouseClick(picker, Qt::LeftButton);
    EXPECT_EQ(config().editIECComPort->text(), QString::number(kPortA));
    EXPECT_EQ(config().udIECComPort->Position(), kPortA);
    EXPECT_FALSE(config().btnWriteConfig->isEnabled());  // another port: read again first
    EXPECT_EQ(config().lblIECComPortDevice->FullText(), PtyLabel(a));

    // The device goes away between the listing and the pick: the number is filled in and
    // the label tells the truth.
    window->pageControl()->setCurrentWidget(&monitor());
    WhenOpen([&] {
        auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
        if (!menu)
            return false;
        ports.Unpublish(kPortA);
        for (QAction* action : menu->actions())
            if (action->text() == QStringLiteral("COM%1 — %2").arg(kPortA).arg(PtyLabel(a)))
                action->trigger();
        menu->close();
        return true;
    });
    QTest::mouseClick(monitor().btnComPortList, Qt::LeftButton);
    EXPECT_EQ(monitor().editComPort->text(), QString::number(kPortA));
    EXPECT_EQ(monitor().lblComPortDevice->FullText(), "Nessun dispositivo");
}

TEST_F(Desktop, SettingsComeBackInTheNextWindowWithoutThePasswordAndABadFileGivesTheDefaults)
{
    ASSERT_NO_FATAL_FAILURE(Open());
    config().editIECComPort->setText(QStringLiteral("17"));
    config().cmbIECBps->setCurrentText(QStringLiteral("2400"));
    config().cmbIECParity->setCurrentText(QStringLiteral("Dispari"));
    config().cmbIECDatabits->setCurrentText(QStringLiteral("8"));
    config().cmbIECStopbits->setCurrentText(QStringLiteral("2"));
    config().editCommIdent->setText(QStringLiteral("0012345678"));
    config().editPassword->setText(QStringLiteral("SEGRETA"));
    monitor().editMBAddress->setText(QStringLiteral("178"));
    monitor().editComPort->setText(QStringLiteral("3"));
    monitor().cmbMB2Bps->setCurrentText(QStringLiteral("19200"));
    monitor().cmbMB2Parity->setCurrentText(QStringLiteral("Pari"));
    monitor().cmbMB2Stopbits->setCurrentText(QStringLiteral("2"));
    window->pageControl()->setCurrentWidget(&config());
    ASSERT_TRUE(window->close());
    window.reset();

    const QString file = ReadAll(app::SettingsFilePath());
    ASSERT_TRUE(file.contains(QStringLiteral("0012345678")));
    EXPECT_FALSE(file.contains(QStringLiteral("SEGRETA")));
    EXPECT_FALSE(file.contains(QStringLiteral("password"), Qt::CaseInsensitive));

    ASSERT_NO_FATAL_FAILURE(Open());
    EXPECT_EQ(window->pageControl()->currentWidget(), &config());
    EXPECT_EQ(config().editIECComPort->text(), "17");
    EXPECT_EQ(config().cmbIECBps->currentText(), "2400");
    EXPECT_EQ(config().cmbIECParity->currentText(), "Dispari");
    EXPECT_EQ(config().cmbIECDatabits->currentText(), "8");
    EXPECT_EQ(config().cmbIECStopbits->currentText(), "2");
    EXPECT_EQ(config().editCommIdent->text(), "0012345678");
    EXPECT_EQ(config().editPassword->text(), "KLOMB");
    EXPECT_EQ(config().lblIECComPortDevice->FullText(), platform::DescribePort(17).Label());
    EXPECT_EQ(monitor().editMBAddress->text(), "178");
    EXPECT_EQ(monitor().editComPort->text(), "3");
    EXPECT_EQ(monitor().cmbMB2Bps->currentText(), "19200");
    EXPECT_EQ(monitor().cmbMB2Parity->currentText(), "Pari");
    EXPECT_EQ(monitor().cmbMB2Stopbits->currentText(), "2");
    // Restoring is not an edit: the write controls are as at every start.
    EXPECT_TRUE(WriteControlsAsAtStart());
    // The up-down buttons step on from the restored value.
    QTest::mouseClick(monitor().udComPort->findChildren<QToolButton*>().first(), Qt::LeftButton);
    EXPECT_EQ(monitor().editComPort->text(), "4");
    window.reset();

    QFile garbage(app::SettingsFilePath());
    ASSERT_TRUE(garbage.open(QIODevice::WriteOnly));
    garbage.write(QByteArray("\x00\xff[iec\nport=abc\n[modbus]\naddress=999\n[window]\npage=7\n", 53));
    garbage.close();
    test::ModalBoxes boxes;
    ASSERT_NO_FATAL_FAILURE(Open());
    EXPECT_TRUE(boxes.Texts().isEmpty());
    EXPECT_EQ(window->pageControl()->currentWidget(), &monitor());
    EXPECT_EQ(config().editIECComPort->text(), "1");
    EXPECT_EQ(config().cmbIECParity->currentText(), "Pari");
    EXPECT_EQ(monitor().editMBAddress->text(), "100");
    EXPECT_TRUE(WriteControlsAsAtStart());
}

namespace {

class UrlCatcher : public QObject {
    Q_OBJECT

public:
    QList<QUrl> urls;

public slots:
    void Open(const QUrl& url) { urls << url; }
};

}  // namespace

TEST_F(Desktop, TheMenuOpensTheRecordsFolderNamesVersionAndLicenceAndReportsAFileItCannotWrite)
{
    ASSERT_NO_FATAL_FAILURE(Open());
    UrlCatcher desktop;
    QDesktopServices::setUrlHandler(QStringLiteral("file"), &desktop, "Open");
    Action("actOpenRecords")->trigger();
    QDesktopServices::unsetUrlHandler(QStringLiteral("file"));
    ASSERT_EQ(desktop.urls.size(), 1);
    EXPECT_EQ(desktop.urls[0].toLocalFile(), app::RecordsFolder());
    EXPECT_TRUE(QFileInfo(app::RecordsFolder()).isDir());

    test::ModalBoxes boxes;
    Action("actAbout")->trigger();
    ASSERT_EQ(boxes.Texts().size(), 1);
    EXPECT_TRUE(boxes.Texts()[0].contains(QStringLiteral("0.1.0")) && boxes.Texts()[0].contains(QStringLiteral("MIT")))
        << boxes.Texts()[0].toStdString();

    // A file that cannot be written is said so.
    QTemporaryDir out;
    const QString blocked = out.filePath(QStringLiteral("file"));
    QFile(blocked).open(QIODevice::WriteOnly);
    AnswerFileDialog(blocked + QStringLiteral("/valori.csv"));
    Action("actExportCsv")->trigger();
    ASSERT_EQ(boxes.Texts().size(), 2);
    EXPECT_TRUE(boxes.Texts()[1].startsWith(QStringLiteral("Impossibile salvare il file ")))
        << boxes.Texts()[1].toStdString();
}

namespace {

// The configuration page against the simulated meter on COM1, its module on COM2.
class DesktopOnMeter : public Desktop {
protected:
    void SetUp() override
    {
        sim.State().SetSerialNumber("12345678");
        sim.State().SetCommIdent("12345678");
        sim.Start();
        ASSERT_NO_FATAL_FAILURE(Open());
        window->pageControl()->setCurrentWidget(&config());
        config().editCommIdent->setText(QStringLiteral("12345678"));
    }
    QStringList Log(const QPlainTextEdit* memo) const { return memo->toPlainText().split(QLatin1Char('\n')); }

    sim::Simulator sim{sim::SimulatorOptions{ports.Path(), 1}};
};

}  // namespace

TEST_F(DesktopOnMeter, AReadAndAWriteLeaveTwoRecordsWithTheSerialNumberAndTheSettings)
{
    QTest::mouseClick(config().btnReadConfig, Qt::LeftButton);
    ASSERT_TRUE(config().btnWriteConfig->isEnabled()) << Log(config().memoLog1).join('\n').toStdString();
    QTest::mouseClick(config().chkAutoAddress, Qt::LeftButton);
    config().editServerAddress->setText(QStringLiteral("42"));
    QTest::mouseClick(config().btnWriteConfig, Qt::LeftButton);
    ASSERT_EQ(sim.State().ModbusAddress(), 42);

    const QDir folder(app::RecordsFolder());
    const QStringList read = folder.entryList({QStringLiteral("*_12345678_lettura.txt")}, QDir::Files);
    const QStringList written = folder.entryList({QStringLiteral("*_12345678_scrittura.txt")}, QDir::Files);
    ASSERT_EQ(read.size(), 1) << folder.entryList().join(' ').toStdString();
    ASSERT_EQ(written.size(), 1);
    const QString port = QStringLiteral("Porta seriale: COM1 (%1 — terminale virtuale)")
                             .arg(QString::fromStdString(sim.MeterPort()->SlavePath()));
    const QString readText = ReadAll(folder.filePath(read[0]));
    for (const QString& line : {port, QStringLiteral("Impostazioni di linea: 9600 7E1"),
                                QStringLiteral("Esito: riuscito"), QStringLiteral("Matricola contatore: 12345678"),
                                QStringLiteral("Indirizzo server Modbus: 178 (automatico: ultime 2 cifre della matricola + 100)"),
                                QStringLiteral("Impostazioni RS485: 9600 8N1 (predefinite)"),
                                QStringLiteral("Lettura matricola\n")})
        EXPECT_TRUE(readText.contains(line)) << line.toStdString() << "\n" << readText.toStdString();
    const QString writeText = ReadAll(folder.filePath(written[0]));
    for (const QString& line : {port, QStringLiteral("Valori scritti:"),
                                QStringLiteral("Matricola contatore: 12345678"),
                                QStringLiteral("Indirizzo server Modbus: 42"), QStringLiteral("Invio password\n")})
        EXPECT_TRUE(writeText.contains(line)) << line.toStdString() << "\n" << writeText.toStdString();
}

TEST_F(DesktopOnMeter, ARecordsFolderThatCannotBeWrittenLeavesTheRunIntactAndSaysSoInItsLog)
{
    // A file where the folder should be: no record can go there, not even as root.
    ASSERT_TRUE(QDir().mkpath(QFileInfo(app::RecordsFolder()).absolutePath()));
    QFile blocker(app::RecordsFolder());
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    blocker.close();

    test::ModalBoxes boxes;
    QTest::mouseClick(config().btnReadConfig, Qt::LeftButton);
    const QStringList log = Log(config().memoLog1);
    ASSERT_GE(log.size(), 2);
    EXPECT_EQ(log[log.size() - 2], "Fine lavoro");
    EXPECT_TRUE(log.last().startsWith(QStringLiteral("Impossibile salvare il rapporto del lavoro")))
        << log.last().toStdString();
    EXPECT_EQ(config().editMeterIdent->text(), "12345678");
    EXPECT_TRUE(config().btnWriteConfig->isEnabled() && config().grpServerAddress->isEnabled());
    EXPECT_TRUE(boxes.Texts().isEmpty());
}

TEST_F(DesktopOnMeter, MenuItemsThatOpenADialogWaitForTheEndOfARun)
{
    QMenu* file = window->findChild<QMenu*>(QStringLiteral("menuFile"));
    ASSERT_NE(file, nullptr);
    bool duringRun = true;
    QTimer::singleShot(0, [&] {  // served while the run waits for the meter
        file->popup(QPoint(0, 0));
        duringRun = Action("actSaveLog")->isEnabled() || Action("actExportCsv")->isEnabled() ||
                    Action("actAbout")->isEnabled() || !Action("actQuit")->isEnabled();
        file->close();
    });
    QTest::mouseClick(config().btnReadConfig, Qt::LeftButton);
    EXPECT_FALSE(duringRun);
    file->popup(QPoint(0, 0));
    EXPECT_TRUE(Action("actSaveLog")->isEnabled() && Action("actExportCsv")->isEnabled());
    file->close();
}

TEST_F(DesktopOnMeter, WhilePollingTheFileMenuSavesTheLogAndTheValuesAndQuitStopsPolling)
{
    QLocale::setDefault(QLocale(QStringLiteral("it_IT")));
    window->pageControl()->setCurrentWidget(&monitor());
    monitor().editComPort->setText(QStringLiteral("2"));
    monitor().editMBAddress->setText(QStringLiteral("178"));
    monitor().btnStartStop->click();
    ASSERT_TRUE(QTest::qWaitFor([&] { return monitor().FStats.FResponses >= 3; }, 15000));

    QTemporaryDir out;
    const QString csv = out.filePath(QStringLiteral("valori.csv"));
    AnswerFileDialog(csv);
    Action("actExportCsv")->trigger();
    const QString values = ReadAll(csv);
    EXPECT_TRUE(values.contains(QStringLiteral("Matricola;12345678\r\n"))) << values.toStdString();
    EXPECT_TRUE(values.contains(QStringLiteral("\r\n1.8.0;"))) << values.toStdString();
    EXPECT_TRUE(values.contains(QStringLiteral("\r\nCos phi;0,"))) << values.toStdString();

    const QString logFile = out.filePath(QStringLiteral("registro"));  // the suffix is added
    AnswerFileDialog(logFile);
    Action("actSaveLog")->trigger();
    const QString log = ReadAll(logFile + QStringLiteral(".txt"));
    EXPECT_TRUE(log.contains(QStringLiteral(" Send: B203"))) << log.toStdString();
    EXPECT_TRUE(log.contains(QStringLiteral("\nStatistiche:\n")));
    EXPECT_TRUE(monitor().FRunning);
    EXPECT_EQ(window->pageControl()->currentWidget(), &monitor());

    Action("actQuit")->trigger();
    EXPECT_FALSE(window->isVisible());
    EXPECT_FALSE(monitor().FRunning);
    EXPECT_TRUE(QFileInfo::exists(app::SettingsFilePath()));
    QLocale::setDefault(QLocale::c());
}

#include "DesktopHooksTest.moc"
