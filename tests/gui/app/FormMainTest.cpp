// The main window driven like a technician drives it: clicks, typed keys, focus moves.
#include "app/FormMain.h"
#include "app/Guard.h"
#include "app/PageConfig.h"
#include "app/PageControl.h"
#include "app/PageDecode.h"
#include "app/PageMonitor.h"
#include "app/UpDown.h"
#include "gui/ModalBox.h"
#include "platform/DebugOutput.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QRegularExpression>
#include <QTableWidget>
#include <QTimer>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QTabBar>
#include <QTest>
#include <QToolButton>
#include <gtest/gtest.h>

#include <stdexcept>

using namespace veltro::app;
using namespace veltro::core;

namespace {

class MainWindow : public ::testing::Test {
protected:
    void SetUp() override
    {
        window.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
        window.activateWindow();
    }

    PageConfig& config() { return *window.tabConfig(); }
    PageMonitor& monitor() { return *window.tabTest(); }

    bool WriteControlsEnabled()
    {
        return config().btnWriteConfig->isEnabled() && config().grpServerAddress->isEnabled() &&
               config().grpMBSerialConfig->isEnabled();
    }
    bool WriteControlsDisabled()
    {
        return !config().btnWriteConfig->isEnabled() && !config().grpServerAddress->isEnabled() &&
               !config().grpMBSerialConfig->isEnabled();
    }
    void ShowPage(QWidget* page)
    {
        window.pageControl()->setCurrentWidget(page);
        QApplication::processEvents();
    }
    // Types into an edit the way a user does: focus first, then the keys.
    void Type(QLineEdit* edit, const QString& keys)
    {
        edit->setFocus();
        QApplication::processEvents();
        QTest::keyClicks(edit, keys);
    }
    void Leave(QLineEdit* edit, QWidget* next)
    {
        ASSERT_TRUE(edit->hasFocus());
        next->setFocus(Qt::TabFocusReason);
        QApplication::processEvents();
    }
    void ClickTab(int index)
    {
        QTabBar* bar = window.pageControl()->tabBar();
        QTest::mouseClick(bar, Qt::LeftButton, {}, bar->tabRect(index).center());
    }

    TfrmMain window;
};

}  // namespace

TEST_F(MainWindow, OpensOnTheMonitoringPageWithThePagesInOrder)
{
    EXPECT_EQ(window.windowTitle(), "Configurazione / Controllo moduli Veltro");
    // At least as large as the pages were first drawn, larger where the font needs it,
    // and as large as the pages would like on a screen with room for it.
    EXPECT_TRUE(window.minimumSize().isValid());
    EXPECT_GE(window.width(), window.minimumWidth());
    EXPECT_GE(window.height(), window.minimumHeight());
    const QSize opening = window.OpeningSize(QSize(4000, 3000));
    EXPECT_GE(opening.width(), 674);
    EXPECT_GE(opening.height(), 604);
    EXPECT_EQ(opening, window.sizeHint().expandedTo(QSize(674, 604)));
    EXPECT_EQ(window.OpeningSize(QSize(100, 100)), window.minimumSizeHint());
    QTabWidget* pages = window.pageControl();
    ASSERT_EQ(pages->count(), 3);
    EXPECT_EQ(pages->tabText(0), "Configurazione");
    EXPECT_EQ(pages->tabText(1), "Controllo");
    EXPECT_EQ(pages->tabText(2), "Decodifica");
    EXPECT_EQ(pages->currentWidget(), static_cast<QWidget*>(window.tabTest()));
    EXPECT_FALSE(window.Timer1()->isActive());
    EXPECT_EQ(window.Timer1()->interval(), 100);
}

TEST_F(MainWindow, ControlsCarryTheirDefaultsAndItemLists)
{
    EXPECT_EQ(config().editIECComPort->text(), "1");
    EXPECT_EQ(config().cmbIECBps->currentText(), "9600");
    EXPECT_EQ(config().cmbIECBps->count(), 7);
    EXPECT_EQ(config().cmbIECParity->currentText(), "Pari");
    EXPECT_EQ(config().cmbIECDatabits->currentText(), "7");
    EXPECT_EQ(config().cmbIECStopbits->currentText(), "1");
    EXPECT_EQ(config().editPassword->text(), "KLOMB");
    EXPECT_EQ(config().editPassword->echoMode(), QLineEdit::Password);
    EXPECT_EQ(config().btnReadConfig->text(), "   1. Leggi");
    EXPECT_EQ(config().btnWriteConfig->text(), "2. Scrivi   ");
    EXPECT_EQ(config().btnReadConfig->toolTip(), "Legge la configurazione attuale dal contatore");
    EXPECT_TRUE(config().btnWriteConfig->toolTip().isEmpty());
    EXPECT_EQ(config().cmbMBParity->currentText(), "Nessuna");
    EXPECT_FALSE(config().editMeterIdent->isEnabled());

    EXPECT_EQ(monitor().editMBAddress->text(), "100");
    EXPECT_EQ(monitor().udMBAddress->Max(), 247);
    EXPECT_EQ(monitor().editComPort->text(), "1");
    EXPECT_EQ(monitor().btnStartStop->text(), "Avvia");
    EXPECT_EQ(monitor().lblMatricola->text(), "...");
    EXPECT_EQ(monitor().gridTotals->rowCount(), 17);
    EXPECT_EQ(monitor().gridTotals->columnCount(), 3);
    EXPECT_GE(monitor().gridProfiles->columnWidth(0), 126);
    EXPECT_FALSE(monitor().pnlDebug->isVisible());
}

TEST_F(MainWindow, IecSettingChangesWithdrawTheWriteControlsButThePasswordDoesNot)
{
    ShowPage(window.tabConfig());
    EXPECT_TRUE(config().btnWriteConfig->isEnabled());
    EXPECT_FALSE(config().grpServerAddress->isEnabled());
    EXPECT_FALSE(config().grpMBSerialConfig->isEnabled());

    // What a successful read does; each IEC edit below must take it back.
    const auto afterRead = [&] { config().EnableWriteControls(true); ASSERT_TRUE(WriteControlsEnabled()); };

    afterRead();
    Type(config().editPassword, "X");
    EXPECT_TRUE(WriteControlsEnabled());

    afterRead();
    config().cmbIECBps->setFocus();
    QTest::keyClick(config().cmbIECBps, Qt::Key_Down);
    EXPECT_EQ(config().cmbIECBps->currentText(), "4800");
    EXPECT_TRUE(WriteControlsDisabled());

    afterRead();
    Type(config().editCommIdent, "7");
    EXPECT_TRUE(WriteControlsDisabled());

    afterRead();
    auto* up = config().udIECComPort->findChildren<QToolButton*>().first();
    QTest::mouseClick(up, Qt::LeftButton);
    EXPECT_EQ(config().editIECComPort->text(), "2");
    EXPECT_TRUE(WriteControlsDisabled());

    afterRead();
    config().cmbIECParity->setCurrentIndex(0);
    EXPECT_TRUE(WriteControlsDisabled());
}

TEST_F(MainWindow, DigitFieldsDropEveryTypedCharacterButDigitsBackspaceAndTab)
{
    ShowPage(window.tabConfig());
    QLineEdit* ident = config().editCommIdent;
    Type(ident, "1a-2 b3");
    EXPECT_EQ(ident->text(), "123");
    QTest::keyClick(ident, Qt::Key_Backspace);
    EXPECT_EQ(ident->text(), "12");
    QTest::keyClick(ident, Qt::Key_Tab);
    EXPECT_FALSE(ident->hasFocus());

    ShowPage(window.tabTest());
    Type(monitor().editMBAddress, "x");
    EXPECT_EQ(monitor().editMBAddress->text(), "100");
    // Pasted text is not filtered; the range check catches it on leaving.
    monitor().editMBAddress->setFocus();
    monitor().editMBAddress->insert(QStringLiteral("z"));
    EXPECT_EQ(monitor().editMBAddress->text(), "100z");
}

TEST_F(MainWindow, LeavingAPortOutsideItsRangeRestoresTheLastValidValue)
{
    ShowPage(window.tabTest());
    QLineEdit* port = monitor().editComPort;
    QWidget* next = monitor().editMBAddress;

    for (const char* bad : {"0", "201"}) {
        port->selectAll();
        Type(port, QString::fromLatin1(bad));
        Leave(port, next);
        EXPECT_EQ(port->text(), "1") << bad;
    }
    port->selectAll();
    Type(port, "150");
    Leave(port, next);
    EXPECT_EQ(port->text(), "150");

    // The value accepted on leaving is the one put back. Typing 2, 20, 201 passes through
    // valid numbers; they are not what the field held.
    port->selectAll();
    Type(port, "201");
    Leave(port, next);
    EXPECT_EQ(port->text(), "150");
    EXPECT_EQ(monitor().udComPort->Position(), 150);

    // A value the program put there counts as well.
    port->setText(QStringLiteral("7"));
    port->selectAll();
    Type(port, "999");
    Leave(port, next);
    EXPECT_EQ(port->text(), "7");

    // Up and down keys step the position within the range.
    port->setFocus();
    QTest::keyClick(port, Qt::Key_Up);
    EXPECT_EQ(port->text(), "8");
}

TEST_F(MainWindow, LeavingAFieldThatIsNotANumberReportsItAndKeepsTheText)
{
    ShowPage(window.tabTest());
    QLineEdit* address = monitor().editMBAddress;
    veltro::test::ModalBoxes boxes;
    address->setFocus();
    address->selectAll();
    QTest::keyClick(address, Qt::Key_Delete);
    Leave(address, monitor().editComPort);
    ASSERT_EQ(boxes.Texts().size(), 1);
    EXPECT_EQ(boxes.Texts()[0], "'' is not a valid integer value");
    EXPECT_EQ(boxes.Icons()[0], QMessageBox::Critical);
    EXPECT_EQ(address->text(), "");
    EXPECT_EQ(monitor().udMBAddress->Position(), 100);

    // A value too large for an integer is not a number either.
    window.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
    address->setFocus();
    address->insert(QStringLiteral("99999999999"));
    Leave(address, monitor().editComPort);
    ASSERT_EQ(boxes.Texts().size(), 2);
    EXPECT_EQ(boxes.Texts()[1], "'99999999999' is not a valid integer value");
}

TEST_F(MainWindow, AutomaticAddressIsTheSerialNumbersLastTwoDigitsPlus100)
{
    ShowPage(window.tabConfig());
    config().EnableWriteControls(true);
    const struct {
        const char* serial;
        const char* address;
    } cases[] = {{"12345678", "178"}, {"00000099", "199"}, {"123", "123"}, {"", "100"},
                 {"12AB", "100"}, {"99999999999", "100"}, {"-5", "95"}};
    for (const auto& c : cases) {
        config().editMeterIdent->setText(QString::fromLatin1(c.serial));
        QTest::mouseClick(config().chkAutoAddress, Qt::LeftButton);
        ASSERT_TRUE(config().chkAutoAddress->isChecked());
        EXPECT_EQ(config().editAutoAddress->text(), c.address) << c.serial;
        EXPECT_FALSE(config().editServerAddress->isEnabled());
        QTest::mouseClick(config().chkAutoAddress, Qt::LeftButton);
        EXPECT_TRUE(config().editServerAddress->isEnabled());
    }
    // The program setting the box runs the same rule.
    config().editMeterIdent->setText(QStringLiteral("40"));
    config().chkAutoAddress->setChecked(true);
    EXPECT_EQ(config().editAutoAddress->text(), "140");
}

TEST_F(MainWindow, DefaultRs485SettingsLockTheFourCombos)
{
    ShowPage(window.tabConfig());
    config().EnableWriteControls(true);
    QTest::mouseClick(config().chkMBAutoConfig, Qt::LeftButton);
    for (QComboBox* c : {config().cmbMBBps, config().cmbMBParity, config().cmbMBStopbits, config().cmbMBDatabits})
        EXPECT_FALSE(c->isEnabled()) << c->objectName().toStdString();
    QTest::mouseClick(config().chkMBAutoConfig, Qt::LeftButton);
    for (QComboBox* c : {config().cmbMBBps, config().cmbMBParity, config().cmbMBStopbits, config().cmbMBDatabits})
        EXPECT_TRUE(c->isEnabled()) << c->objectName().toStdString();
}

TEST_F(MainWindow, TheLogKeepsTheNewest101LinesStampedWithTheTime)
{
    std::vector<std::string> debugged;
    auto previous = veltro::platform::SetDebugSink([&](std::string_view line) { debugged.emplace_back(line); });
    veltro::platform::SetDebugOutputEnabled(true);
    for (int i = 1; i <= 102; ++i)
        monitor().AddLog(QStringLiteral("riga %1").arg(i));
    veltro::platform::SetDebugSink(previous);
    veltro::platform::SetDebugOutputEnabled(false);

    QListWidget* log = monitor().listLog;
    ASSERT_EQ(log->count(), 101);
    EXPECT_TRUE(log->item(0)->text().endsWith(" riga 2"));
    EXPECT_TRUE(log->item(100)->text().endsWith(" riga 102"));
    EXPECT_TRUE(QRegularExpression("^\\d{1,2}:\\d\\d:\\d\\d riga 102$").match(log->item(100)->text()).hasMatch())
        << log->item(100)->text().toStdString();
    EXPECT_TRUE(log->selectedItems().isEmpty());
    ASSERT_EQ(debugged.size(), 102u);
    EXPECT_EQ(debugged.back(), log->item(100)->text().toStdString());

    monitor().AddLog(QStringLiteral("riga 103"));
    EXPECT_EQ(log->count(), 101);
}

TEST_F(MainWindow, WhilePollingTheUserCannotLeaveTheMonitoringPage)
{
    monitor().FRunning = true;
    ClickTab(2);
    EXPECT_EQ(window.pageControl()->currentWidget(), static_cast<QWidget*>(window.tabTest()));
    QTest::keyClick(window.pageControl(), Qt::Key_Tab, Qt::ControlModifier);
    EXPECT_EQ(window.pageControl()->currentWidget(), static_cast<QWidget*>(window.tabTest()));

    monitor().FRunning = false;
    ClickTab(2);
    EXPECT_EQ(window.pageControl()->currentWidget(), static_cast<QWidget*>(window.TabSheet1()));
}

TEST_F(MainWindow, ClosingWhilePollingStopsPollingAndStillCloses)
{
    int stops = 0;
    QObject::connect(monitor().btnStartStop, &QPushButton::clicked, [&] {
        ++stops;
        monitor().FRunning = false;
    });
    monitor().FRunning = true;
    EXPECT_TRUE(window.close());
    EXPECT_EQ(stops, 1);
    EXPECT_FALSE(window.isVisible());

    window.show();
    EXPECT_TRUE(window.close());
    EXPECT_EQ(stops, 1);  // not polling: nothing to stop
}

TEST(Guard, AnExceptionInAHandlerEndsInTheErrorBoxNotInTheEventLoop)
{
    veltro::test::ModalBoxes boxes;
    QPushButton button;
    bool after = false;
    QObject::connect(&button, &QPushButton::clicked, Guarded([] { throw std::runtime_error("Porta occupata"); }));
    QObject::connect(&button, &QPushButton::clicked, [&] { after = true; });
    button.show();
    QTest::mouseClick(&button, Qt::LeftButton);
    ASSERT_EQ(boxes.Texts().size(), 1);
    EXPECT_EQ(boxes.Texts()[0], "Porta occupata");
    EXPECT_TRUE(after);  // the rest of the event is still delivered
}
