// "Cerca modulo" on "Controllo" and "3. Verifica" on "Configurazione", clicked in the
// window against the simulated meter (COM1) and module (COM2). The module understands only
// its own address and line settings, so the scan's receive time-outs pace these tests:
// the ranges searched are kept narrow.
#include "app/FormMain.h"
#include "core/ModuleScanner.h"
#include "app/PageConfig.h"
#include "app/PageMonitor.h"
#include "app/ScanRun.h"
#include "app/PageControl.h"
#include "app/VerifyRun.h"
#include "gui/ModalBox.h"
#include "simulator/Simulator.h"
#include "support/Loopback.h"
#include "support/PortFree.h"
#include "support/PtyPair.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QElapsedTimer>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QRegularExpression>
#include <QSpinBox>
#include <QTest>
#include <gtest/gtest.h>

using namespace veltro;
using namespace std::chrono_literals;

namespace {

using test::PortFree;

class ScanWindow : public ::testing::Test {
protected:
    void SetUp() override
    {
        QLocale::setDefault(QLocale(QStringLiteral("it_IT")));
        window.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
        monitor().editComPort->setText(QStringLiteral("2"));
        config().editCommIdent->setText(QStringLiteral("12345678"));
    }
    void TearDown() override
    {
        window.close();
        QLocale::setDefault(QLocale::c());
    }

    void StartModule(const std::string& address, const std::string& settings)
    {
        sim.State().SetModbusAddressText(address);
        sim.State().SetModbusSettingsText(settings);
        sim.Start();
    }
    app::PageMonitor& monitor() { return *window.tabTest(); }
    app::PageConfig& config() { return *window.tabConfig(); }
    bool WaitFor(const std::function<bool()>& condition, int ms = 15000) { return QTest::qWaitFor(condition, ms); }
    QStringList Log() const
    {
        QStringList lines;
        for (int i = 0; i < window.tabTest()->listLog->count(); ++i)
            lines << window.tabTest()->listLog->item(i)->text().section(QLatin1Char(' '), 1);
        return lines;
    }
    QString LastVerifyLine() const { return config_().memoLog2->toPlainText().split(QLatin1Char('\n')).last(); }
    const app::PageConfig& config_() const { return *window.tabConfig(); }

    // "Cerca modulo", the addresses and the values of each list to try, then "Cerca".
    void Scan(int first, int last, const QStringList& ticked, bool continueAfterFirst = false)
    {
        ASSERT_TRUE(monitor().btnScan->isEnabled());
        QTest::mouseClick(monitor().btnScan, Qt::LeftButton);
        app::ScanSetupDialog* setup = monitor().FScan->SetupDialog();
        ASSERT_NE(setup, nullptr);
        ASSERT_TRUE(setup->isVisible());
        setup->spinScanFirst->setValue(first);
        setup->spinScanLast->setValue(last);
        for (const auto* list : {&setup->chkScanRates, &setup->chkScanParities, &setup->chkScanStopBits})
            for (QCheckBox* box : *list)
                if (box->isChecked() != ticked.contains(box->text()))
                    QTest::mouseClick(box, Qt::LeftButton);
        QTest::mouseClick(continueAfterFirst ? setup->rbScanContinue : setup->rbScanStopAtFirst, Qt::LeftButton);
        QTest::mouseClick(setup->btnScanStart, Qt::LeftButton);
    }
    bool ScanEnded() { return WaitFor([&] { return !monitor().FScan->Busy(); }, 30000); }

    void Read()
    {
        QTest::mouseClick(config().btnReadConfig, Qt::LeftButton);
        ASSERT_TRUE(config().btnVerifyConfig->isEnabled());
    }
    // "3. Verifica", quick to give up on a silent module.
    void Verify()
    {
        config().FVerify->Attempts = 2;
        config().FVerify->ReceiveTimeout = 300ms;
        config().btnVerifyConfig->click();
    }
    bool VerifyEnded() { return WaitFor([&] { return !config().FVerify->Busy(); }); }

    test::PortDir ports;
    sim::Simulator sim{sim::SimulatorOptions{ports.Path(), 1, false, 2}};
    app::TfrmMain window;
};

struct ScanCase {
    const char* name;
    std::string address, settings;
    sim::ModuleFaults faults;
    bool secondStation;
    int first, last;
    QStringList ticked;
    bool continueAfterFirst;
    QStringList logged;  // the lines the search ends with
    QString address2, rate, parity, stopBits;  // the page's fields afterwards
};

class ScanOutcome : public ScanWindow, public ::testing::WithParamInterface<ScanCase> {};

TEST_P(ScanOutcome, EndsWithItsLinesInTheLogAndTheFirstStationInTheFields)
{
    const ScanCase& c = GetParam();
    if (c.secondStation)
        sim.Module().SetSecondStation(sim::SecondStation{150, "23456789"});
    StartModule(c.address, c.settings);
    sim.SetModuleFaults(c.faults);
    Scan(c.first, c.last, c.ticked, c.continueAfterFirst);
    ASSERT_TRUE(monitor().FScan->Busy());
    EXPECT_FALSE(monitor().btnScan->isEnabled());
    app::ScanProgressDialog* progress = monitor().FScan->ProgressDialog();
    ASSERT_NE(progress, nullptr);
    // What is being tried and the time left, as soon as the first candidate is out.
    ASSERT_TRUE(WaitFor([&] { return !progress->lblScanProgress->text().isEmpty(); }));
    EXPECT_TRUE(QRegularExpression(QStringLiteral("^Prova \\d+ di \\d+: indirizzo \\d+ con \\d+ 8[NOE][12], "
                                                  "tempo residuo \\d+:\\d\\d$"))
                    .match(progress->lblScanProgress->text())
                    .hasMatch())
        << progress->lblScanProgress->text().toStdString();

    ASSERT_TRUE(ScanEnded());
    EXPECT_EQ(monitor().FScan->ProgressDialog(), nullptr);
    const QStringList log = Log();
    ASSERT_GE(log.size(), c.logged.size() + 1);
    EXPECT_TRUE(log.front().startsWith(QStringLiteral("Ricerca del modulo sulla porta COM2 con ")))
        << log.front().toStdString();
    EXPECT_EQ(log.mid(log.size() - c.logged.size()), c.logged) << log.join(QLatin1Char('\n')).toStdString();
    EXPECT_EQ(monitor().editMBAddress->text(), c.address2);
    EXPECT_EQ(monitor().cmbMB2Bps->currentText(), c.rate);
    EXPECT_EQ(monitor().cmbMB2Parity->currentText(), c.parity);
    EXPECT_EQ(monitor().cmbMB2Stopbits->currentText(), c.stopBits);
    EXPECT_TRUE(monitor().btnScan->isEnabled());
    EXPECT_TRUE(PortFree("COM2"));
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ScanOutcome,
    ::testing::Values(
        ScanCase{"ModuleAtAnUnusualAddressAndSetting", "203", "2400 8O2", {}, false, 202, 203,
                 {"9600", "2400", "Nessuna", "Dispari", "1", "2"}, false,
                 {"Ricerca terminata: una stazione trovata",
                  "Modulo trovato all'indirizzo 203 con 2400 8O2, matricola 12345678"},
                 "203", "2400", "Dispari", "2"},
        ScanCase{"GarbageOnlyLine", "3", "9600 8N1", {.noise = true}, false, 1, 4, {"9600", "Nessuna", "1"}, false,
                 {"Nessun modulo trovato con 9600 8N1 agli indirizzi 1-4",
                  "Byte estranei all'indirizzo 1 con 9600 8N1: 7F237E (e in altre 3 prove)"},
                 "100", "9600", "Nessuna", "1"},
        ScanCase{"TwoStationsWithContinue", "152", "9600 8N1", {}, true, 149, 153, {"9600", "Nessuna", "1"}, true,
                 {"Ricerca terminata: 2 stazioni trovate",
                  "Modulo trovato all'indirizzo 150 con 9600 8N1, matricola 23456789",
                  "Modulo trovato all'indirizzo 152 con 9600 8N1, matricola 12345678"},
                 "150", "9600", "Nessuna", "1"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(ScanWindow, TheStationFoundIsPolledWithTheFieldsTheScanFilled)
{
    StartModule("203", "2400 8O2");
    Scan(203, 203, {"2400", "Dispari", "2"});
    ASSERT_TRUE(ScanEnded());
    QTest::mouseClick(monitor().btnStartStop, Qt::LeftButton);
    ASSERT_TRUE(monitor().FRunning);
    EXPECT_TRUE(WaitFor([&] { return monitor().lblMatricola->text() == QStringLiteral("12345678"); }));
    QTest::mouseClick(monitor().btnStartStop, Qt::LeftButton);
}

TEST_F(ScanWindow, CancelledHalfwayItEndsWithinOneTimeOutAndLeavesThePortClosed)
{
    StartModule("178", "9600 8N1");
    Scan(1, 60, {"9600", "Nessuna", "1"});
    app::ScanProgressDialog* progress = monitor().FScan->ProgressDialog();
    ASSERT_NE(progress, nullptr);
    ASSERT_TRUE(WaitFor([&] { return progress->barScanProgress->value() >= 20; }));
    QElapsedTimer took;
    took.start();
    QTest::mouseClick(progress->btnScanAbort, Qt::LeftButton);
    ASSERT_TRUE(ScanEnded());
    const auto timeout = app::ScanReceiveTimeout(app::RtuSettings{}, app::ScanOptions{}.Turnaround);
    EXPECT_LE(took.elapsed(), (timeout + 50ms).count());
    EXPECT_TRUE(PortFree("COM2"));
    const QString last = Log().last();
    EXPECT_TRUE(QRegularExpression(QStringLiteral("^Ricerca annullata dopo (\\d+) prove di 60, nessun modulo trovato$"))
                    .match(last)
                    .hasMatch())
        << last.toStdString();
    EXPECT_EQ(monitor().editMBAddress->text(), "100");
}

TEST_F(ScanWindow, APortThatCannotBeOpenedIsReportedAndNothingRuns)
{
    StartModule("7", "9600 8N1");
    monitor().editComPort->setText(QStringLiteral("9"));
    test::ModalBoxes boxes;
    Scan(1, 5, {"9600", "Nessuna", "1"});
    ASSERT_TRUE(WaitFor([&] { return !boxes.Texts().isEmpty(); }));
    EXPECT_EQ(boxes.Texts().front(), "Ricerca non avviata: impossibile aprire la porta COM9.");
    EXPECT_FALSE(monitor().FScan->Busy());
    EXPECT_EQ(monitor().FScan->ProgressDialog(), nullptr);
    EXPECT_TRUE(monitor().btnScan->isEnabled());
}

struct VerifyCase {
    const char* name;
    std::string address, settings;  // what the meter holds for the module
    bool write;               // write 42 / 19200 8O2 before the check, else check what was read
    sim::ModuleFaults faults;
    const char* otherSerial;  // the module carries this number instead of the meter's
    QString last;
};

class VerifyOutcome : public ScanWindow, public ::testing::WithParamInterface<VerifyCase> {};

TEST_P(VerifyOutcome, EndsWithOneLineInTheWriteLog)
{
    const VerifyCase& c = GetParam();
    StartModule(c.address, c.settings);
    Read();
    if (c.write) {
        config().editServerAddress->setText(QStringLiteral("42"));
        config().cmbMBBps->setCurrentText(QStringLiteral("19200"));
        config().cmbMBParity->setCurrentText(QStringLiteral("Dispari"));
        config().cmbMBStopbits->setCurrentText(QStringLiteral("1"));
        QTest::mouseClick(config().btnWriteConfig, Qt::LeftButton);
        ASSERT_TRUE(WaitFor([&] { return sim.Module().Address() == 42; }));
    }
    sim.SetModuleFaults(c.faults);
    if (c.otherSerial)
        sim.State().SetSerialNumber(c.otherSerial);
    const bool writeEnabled = config().btnWriteConfig->isEnabled();
    Verify();
    // Locked like the other runs while it runs.
    EXPECT_TRUE(config().FVerify->Busy());
    EXPECT_FALSE(config().btnVerifyConfig->isEnabled());
    EXPECT_FALSE(config().btnReadConfig->isEnabled());
    EXPECT_FALSE(config().btnWriteConfig->isEnabled());
    EXPECT_FALSE(monitor().btnScan->isEnabled());
    ASSERT_TRUE(VerifyEnded());
    EXPECT_EQ(LastVerifyLine(), c.last);
    EXPECT_EQ(config().btnUseVerified->isEnabled(), c.last.startsWith("Verifica riuscita")) << "only a proven module";
    EXPECT_TRUE(config().btnVerifyConfig->isEnabled());
    EXPECT_TRUE(config().btnReadConfig->isEnabled());
    EXPECT_EQ(config().btnWriteConfig->isEnabled(), writeEnabled);
    EXPECT_TRUE(monitor().btnScan->isEnabled());
    EXPECT_TRUE(PortFree("COM2"));
}

INSTANTIATE_TEST_SUITE_P(
    Cases, VerifyOutcome,
    ::testing::Values(
        VerifyCase{"MatchAfterAWrite", "7", "4800 8N2", true, {}, nullptr,
                   "Verifica riuscita: il modulo risponde all'indirizzo 42 con 19200 8O1 e la matricola corrisponde "
                   "a quella del contatore"},
        // An address the module cannot use: it answers at its automatic one, and so must the check.
        VerifyCase{"AutomaticAddressAndDefaultSettings", "300", "", false, {}, nullptr,
                   "Verifica riuscita: il modulo risponde all'indirizzo 178 con 9600 8N1 e la matricola corrisponde "
                   "a quella del contatore"},
        VerifyCase{"SilentModule", "7", "4800 8N2", false, {.silent = true}, nullptr,
                   "Verifica fallita: nessuna risposta all'indirizzo 7 con 4800 8N2 su COM2"},
        VerifyCase{"AnotherModule", "7", "4800 8N2", false, {}, "87654321",
                   "Verifica fallita: all'indirizzo 7 risponde un altro modulo (matricola 87654321, contatore "
                   "12345678)"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(ScanWindow, AProvenModuleIsPolledAfterOneClickOnUsaInControllo)
{
    StartModule("7", "4800 8N2");
    Read();
    Verify();
    ASSERT_TRUE(VerifyEnded());
    ASSERT_TRUE(config().btnUseVerified->isEnabled());
    QTest::mouseClick(config().btnUseVerified, Qt::LeftButton);
    EXPECT_EQ(window.pageControl()->currentWidget(), &monitor());
    EXPECT_EQ(monitor().editMBAddress->text(), QStringLiteral("7"));
    EXPECT_EQ(monitor().cmbMB2Bps->currentText(), QStringLiteral("4800"));
    EXPECT_EQ(monitor().cmbMB2Stopbits->currentText(), QStringLiteral("2"));
    QTest::mouseClick(monitor().btnStartStop, Qt::LeftButton);
    ASSERT_TRUE(monitor().FRunning);
    EXPECT_TRUE(WaitFor([&] { return monitor().lblMatricola->text() == QStringLiteral("12345678"); }));
    QTest::mouseClick(monitor().btnStartStop, Qt::LeftButton);

    // A new run makes the proof stale.
    window.pageControl()->setCurrentWidget(&config());
    Read();
    EXPECT_FALSE(config().btnUseVerified->isEnabled());
}

// Through a gateway the search tries addresses alone (the gateway keeps the line settings)
// and the check reads the module's serial number through it as well.
TEST_F(ScanWindow, ThroughAGatewayTheSearchAndTheCheckReachTheModule)
{
    const std::string gateway = "127.0.0.1:" + std::to_string(test::FreeLoopbackPort());
    sim.Module().ServeTcp(sim::ModuleSim::TcpService{gateway, modbus::ltModbusTcp});
    StartModule("178", "2400 8O2");
    monitor().cmbLink->setCurrentIndex(2);
    monitor().editGateway->setText(QString::fromStdString(gateway));
    QTest::mouseClick(monitor().btnScan, Qt::LeftButton);
    app::ScanSetupDialog* setup = monitor().FScan->SetupDialog();
    ASSERT_NE(setup, nullptr);
    EXPECT_FALSE(setup->chkScanRates.front()->isEnabled());
    setup->spinScanFirst->setValue(175);
    setup->spinScanLast->setValue(180);
    QTest::mouseClick(setup->btnScanStart, Qt::LeftButton);
    ASSERT_TRUE(ScanEnded());
    EXPECT_EQ(monitor().editMBAddress->text(), QStringLiteral("178"));
    EXPECT_TRUE(Log().join('\n').contains(QString::fromStdString(gateway))) << Log().join('\n').toStdString();

    Read();
    Verify();
    ASSERT_TRUE(VerifyEnded());
    EXPECT_TRUE(config().btnUseVerified->isEnabled()) << LastVerifyLine().toStdString();
}

// Polling, the module search and the check share the RS485 port: while one holds it the
// others are refused with a message, and nothing is opened.
TEST_F(ScanWindow, OneJobAtATimeHoldsTheRs485Port)
{
    StartModule("7", "9600 8N1");
    Read();
    monitor().editMBAddress->setText(QStringLiteral("7"));
    test::ModalBoxes boxes;
    // The action is refused with this message, and the message box is closed again.
    const auto refused = [&](const std::function<void()>& action, const QString& text) {
        const qsizetype before = boxes.Texts().size();
        action();
        ASSERT_TRUE(WaitFor([&] { return boxes.Texts().size() > before; })) << text.toStdString();
        EXPECT_EQ(boxes.Texts().back(), text);
        EXPECT_TRUE(WaitFor([] { return !QApplication::activeModalWidget() ||
                                        !qobject_cast<QMessageBox*>(QApplication::activeModalWidget()); }));
    };
    const auto verify = [&] { config().btnVerifyConfig->click(); };

    // Polling holds the port: the check is refused.
    QTest::mouseClick(monitor().btnStartStop, Qt::LeftButton);
    ASSERT_TRUE(monitor().FRunning);
    EXPECT_FALSE(monitor().btnScan->isEnabled());
    refused(verify, "Controllo del modulo in corso sulla porta COM2: arrestarlo con \"Arresta\" e riprovare.");
    EXPECT_FALSE(config().FVerify->Busy());
    QTest::mouseClick(monitor().btnStartStop, Qt::LeftButton);
    ASSERT_FALSE(monitor().FRunning);

    // The search holds the port: the check is refused.
    Scan(1, 60, {"9600", "Nessuna", "1"});
    ASSERT_TRUE(monitor().FScan->Busy());
    refused(verify, "Ricerca del modulo in corso sulla porta COM2: attendere la fine o annullarla.");
    EXPECT_FALSE(config().FVerify->Busy());
    QTest::mouseClick(monitor().FScan->ProgressDialog()->btnScanAbort, Qt::LeftButton);
    ASSERT_TRUE(ScanEnded());

    // The check holds the port: polling and the search are refused.
    sim.SetModuleFaults({.silent = true});
    Verify();
    ASSERT_TRUE(config().FVerify->Busy());
    EXPECT_FALSE(monitor().btnScan->isEnabled());
    const QString checking = "Verifica della configurazione in corso sulla porta COM2: attendere la fine.";
    refused([&] { monitor().btnStartStop->click(); }, checking);
    EXPECT_FALSE(monitor().FRunning);
    refused([&] { monitor().FScan->Begin(); }, checking);
    EXPECT_FALSE(monitor().FScan->Busy());
    ASSERT_TRUE(VerifyEnded());
}

TEST_F(ScanWindow, ClosingTheWindowEndsASearchOrACheckAndFreesThePort)
{
    StartModule("7", "9600 8N1");
    Read();
    Scan(1, 200, {"9600", "Nessuna", "1"});
    ASSERT_TRUE(monitor().FScan->Busy());
    window.close();
    EXPECT_FALSE(monitor().FScan->Busy());
    EXPECT_TRUE(PortFree("COM2"));

    window.show();
    sim.SetModuleFaults({.silent = true});
    Verify();
    ASSERT_TRUE(config().FVerify->Busy());
    window.close();
    EXPECT_FALSE(config().FVerify->Busy());
    EXPECT_TRUE(PortFree("COM2"));
}

}  // namespace
