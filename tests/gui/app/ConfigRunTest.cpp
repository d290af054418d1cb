// "1. Leggi" and "2. Scrivi" clicked against the simulated meter.
#include "gui/app/ConfigRunFixture.h"

#include <QElapsedTimer>

#include <filesystem>
#include <thread>

using namespace veltro;
using test::ConfigRun;
using test::kReadLog;
using namespace std::chrono_literals;

TEST_F(ConfigRun, FirstReadWithEmptyValuesSelectsTheAutomaticAddressAndDefaultSettings)
{
    Read();
    EXPECT_EQ(Log(page.memoLog1), kReadLog);
    EXPECT_EQ(page.editMeterIdent->text(), "12345678");
    EXPECT_TRUE(page.chkAutoAddress->isChecked());
    EXPECT_EQ(page.editAutoAddress->text(), "178");
    EXPECT_TRUE(page.editServerAddress->text().isEmpty());
    EXPECT_FALSE(page.editServerAddress->isEnabled());
    EXPECT_TRUE(page.chkMBAutoConfig->isChecked());
    EXPECT_FALSE(page.cmbMBBps->isEnabled());
    EXPECT_TRUE(WriteControlsEnabled());
    EXPECT_TRUE(page.btnReadConfig->isEnabled());
}

TEST_F(ConfigRun, TheAutomaticAddressFollowsEverySerialNumberRead)
{
    // Two meters in a row, both on the automatic address: the box stays checked.
    Read();
    ASSERT_TRUE(page.chkAutoAddress->isChecked());
    ASSERT_EQ(page.editAutoAddress->text(), "178");
    sim.State().SetSerialNumber("87654321");
    Read();
    EXPECT_EQ(page.editMeterIdent->text(), "87654321");
    EXPECT_TRUE(page.chkAutoAddress->isChecked());
    EXPECT_EQ(page.editAutoAddress->text(), "121");
}

TEST_F(ConfigRun, ReadShowsWhatTheMeterHoldsAndMarksWhatTheModuleCannotUse)
{
    const struct {
        const char* address;
        const char* shown;
        bool automatic;
    } addresses[] = {{"5", "5", false}, {"300", "invalid (300)", true}, {"abc", "invalid (abc)", true}};
    for (const auto& a : addresses) {
        sim.State().SetModbusAddressText(a.address);
        sim.State().SetModbusSettingsText("19200 8E2");
        Read();
        EXPECT_EQ(page.editServerAddress->text(), a.shown) << a.address;
        EXPECT_EQ(page.chkAutoAddress->isChecked(), a.automatic) << a.address;
        EXPECT_EQ(page.cmbMBBps->currentText(), "19200");
        EXPECT_EQ(page.cmbMBParity->currentText(), "Pari");
        EXPECT_EQ(page.cmbMBStopbits->currentText(), "2");
        EXPECT_FALSE(page.chkMBAutoConfig->isChecked());
        EXPECT_TRUE(CombosEnabled());
    }
    for (const char* settings : {"9600 8N1 ", "9600-8N1", ""}) {
        sim.State().SetModbusSettingsText(settings);
        Read();
        EXPECT_TRUE(page.chkMBAutoConfig->isChecked()) << settings;
        EXPECT_FALSE(page.cmbMBBps->isEnabled()) << settings;
    }
}

TEST_F(ConfigRun, AWriteIsReadBackAsWritten)
{
    Read();
    ASSERT_TRUE(WriteControlsEnabled());
    QTest::mouseClick(page.chkAutoAddress, Qt::LeftButton);  // manual address
    page.editServerAddress->setText(QStringLiteral("0100"));
    QTest::mouseClick(page.chkMBAutoConfig, Qt::LeftButton);  // manual settings
    page.cmbMBBps->setCurrentText(QStringLiteral("19200"));
    page.cmbMBParity->setCurrentText(QStringLiteral("Dispari"));
    page.cmbMBStopbits->setCurrentText(QStringLiteral("2"));
    Write();
    EXPECT_EQ(Log(page.memoLog2),
              QStringList({"Connessione fisica", "Connessione al contatore 12345678", "Cambio velocità",
                           "Invio password", "Scrittura indirizzo server modbus",
                           "Scrittura configurazione seriale modbus", "Disconnessione contatore",
                           "Disconnessione fisica", "Fine lavoro"}));
    EXPECT_EQ(sim.State().ModbusAddressText(), "0100");
    EXPECT_EQ(sim.State().ModbusSettingsText(), "19200 8O2");
    EXPECT_TRUE(WriteControlsEnabled());  // a write keeps the page's read state

    page.editServerAddress->clear();
    Read();
    EXPECT_EQ(page.editServerAddress->text(), "0100");
    EXPECT_EQ(page.cmbMBParity->currentText(), "Dispari");

    // Both boxes checked: the module's automatic address and default settings.
    QTest::mouseClick(page.chkAutoAddress, Qt::LeftButton);
    QTest::mouseClick(page.chkMBAutoConfig, Qt::LeftButton);
    Write();
    EXPECT_EQ(sim.State().ModbusAddressText(), "");
    EXPECT_EQ(sim.State().ModbusSettingsText(), "");
}

TEST_F(ConfigRun, ARefusedPasswordWritesNothing)
{
    sim.State().SetModbusAddressText("7");
    Read();
    page.editPassword->setText(QStringLiteral("WRONG"));
    page.editServerAddress->setText(QStringLiteral("9"));
    Write();
    const QStringList log = Log(page.memoLog2);
    EXPECT_TRUE(log.contains("Password non valida")) << log.join('|').toStdString();
    EXPECT_FALSE(log.contains("Scrittura indirizzo server modbus"));
    EXPECT_EQ(log.last(), "Fine lavoro");
    EXPECT_EQ(sim.State().ModbusAddressText(), "7");
}

TEST_F(ConfigRun, ChecksBeforeARunStopItWithAMessage)
{
    test::ModalBoxes boxes;
    page.editCommIdent->clear();
    Read();
    ASSERT_EQ(boxes.Texts().size(), 1);
    EXPECT_EQ(boxes.Texts()[0], "Inserire l'identificativo di comunicazione");
    EXPECT_EQ(boxes.Icons()[0], QMessageBox::Information);
    EXPECT_TRUE(page.memoLog1->toPlainText().isEmpty());

    // The write button enabled (as at start) but no address read or typed.
    page.EnableWriteControls(true);
    Write();
    ASSERT_EQ(boxes.Texts().size(), 2);
    EXPECT_EQ(boxes.Texts()[1], "Inserire un indirizzo MODBUS manuale valido (1-247)");
    for (const char* bad : {"0", "248", "abc"}) {
        page.editServerAddress->setText(QString::fromLatin1(bad));
        Write();
    }
    EXPECT_EQ(boxes.Texts().size(), 5);
    EXPECT_TRUE(page.memoLog2->toPlainText().isEmpty());
}

TEST_F(ConfigRun, APortThatCannotBeOpenedEndsTheRunAndWithdrawsTheWriteControls)
{
    page.editIECComPort->setText(QStringLiteral("9"));  // nothing published as COM9
    Read();
    EXPECT_EQ(Log(page.memoLog1), QStringList({"Connessione fisica", "Connessione fisica fallita", "Fine lavoro"}));
    EXPECT_FALSE(page.btnWriteConfig->isEnabled());
    EXPECT_FALSE(page.grpServerAddress->isEnabled());
    EXPECT_TRUE(page.btnReadConfig->isEnabled());
}

// Descriptors of this process open on the device (" (deleted)" once its node went).
int OpenOn(const std::string& device)
{
    int n = 0;
    for (const auto& fd : std::filesystem::directory_iterator("/proc/self/fd")) {
        std::error_code ec;
        n += std::filesystem::read_symlink(fd.path(), ec).string().starts_with(device);
    }
    return n;
}

TEST_F(ConfigRun, AnOpticalHeadPulledOutEndsTheRunWithItsErrorAndReleasesThePort)
{
    test::PtyPair head;
    ports.Publish(5, head.SlavePath());
    page.editIECComPort->setText(QStringLiteral("5"));
    const int before = OpenOn(head.SlavePath());
    // The head goes as soon as the wake-up reaches it.
    std::thread unplug([&] {
        head.Receive(1, 5s);
        head.CloseMaster();
    });
    QElapsedTimer clock;
    clock.start();
    Read();
    unplug.join();
    const QStringList log = Log(page.memoLog1);
    EXPECT_EQ(log.filter(QStringLiteral("Porta COM5: dispositivo seriale scollegato")).size(), 1)
        << log.join('|').toStdString();
    EXPECT_EQ(log.last(), "Fine lavoro");
    EXPECT_LT(clock.elapsed(), 3000);
    EXPECT_EQ(OpenOn(head.SlavePath()), before);
    EXPECT_TRUE(page.btnReadConfig->isEnabled());
}

TEST_F(ConfigRun, TheWindowStaysResponsiveAndTheRunsControlsAreLockedMeanwhile)
{
    // The meter answers slowly; a timer firing during the run proves the window kept
    // processing events, and sees the controls as the run left them.
    sim::MeterFaults slow;
    slow.replyDelay = std::chrono::milliseconds(150);
    sim.Meter().SetFaults(slow);
    bool sawRun = false, locked = true;
    QTimer probe;
    probe.setInterval(20);
    QObject::connect(&probe, &QTimer::timeout, [&] {
        if (page.memoLog1->toPlainText().isEmpty())
            return;
        sawRun = true;
        locked = locked && !page.btnReadConfig->isEnabled() && !page.grpIECSerialConfig->isEnabled() &&
                 !page.editCommIdent->isEnabled() && !page.editPassword->isEnabled() &&
                 !page.btnWriteConfig->isEnabled();
        probe.stop();
    });
    probe.start();
    Read();
    EXPECT_TRUE(sawRun);
    EXPECT_TRUE(locked);
    EXPECT_EQ(Log(page.memoLog1), kReadLog);
}
