// The "Controllo" page when its line goes away or is stopped in the middle of a poll: a
// pseudo-terminal that never answers stands for the RS485 adapter, reached as COM9
// through a by-id style link that names the adapter whatever pty it is on.
#include "app/FormMain.h"
#include "app/PageMonitor.h"
#include "gui/ModalBox.h"
#include "support/PtyPair.h"

#include <QElapsedTimer>
#include <QFile>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <gtest/gtest.h>

#include <memory>

using namespace veltro;
using namespace std::chrono_literals;

namespace {

constexpr int kCom = 9;  // beyond the machine's own serial devices

class PollingLineLoss : public ::testing::Test {
protected:
    void SetUp() override
    {
        Plug();
        window.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
        page().editComPort->setText(QString::number(kCom));
    }
    void TearDown() override
    {
        if (page().FRunning)
            Click();
    }

    app::PageMonitor& page() { return *window.tabTest(); }
    void Click() { QTest::mouseClick(page().btnStartStop, Qt::LeftButton); }
    int Lines(const QString& text) { return page().listLog->findItems(text, Qt::MatchContains).size(); }
    bool WaitFor(const std::function<bool()>& condition) { return QTest::qWaitFor(condition, 5000); }
    // A poll's request reaches the far end of the line (the window keeps running meanwhile).
    bool RequestArrives()
    {
        size_t got = 0;
        return WaitFor([&] { return (got += line->Receive(8 - got, 0ms).size()) == 8; });
    }
    // Ticks of the poll timer, each of which tries to reopen a missing port.
    void WaitTicks(int count)
    {
        int ticks = 0;
        const auto counting = QObject::connect(window.Timer1(), &QTimer::timeout, [&] { ++ticks; });
        ASSERT_TRUE(WaitFor([&] { return ticks >= count; }));
        QObject::disconnect(counting);
    }
    // The adapter (plugged in again: on a new pty) under the COM number.
    void Plug()
    {
        line = std::make_unique<test::PtyPair>();
        ASSERT_TRUE(QFile::link(QString::fromStdString(line->SlavePath()), adapter));
        ports.Publish(kCom, adapter.toStdString());
    }
    // The adapter pulled out: its device node goes, the open port sees a hang-up (EIO).
    void Unplug()
    {
        ports.Unpublish(kCom);
        QFile::remove(adapter);
        line->CloseMaster();
    }

    test::PortDir ports;
    QTemporaryDir byId;
    const QString adapter = byId.filePath(QStringLiteral("usb-Veltro_RS485-if00-port0"));
    std::unique_ptr<test::PtyPair> line;
    app::TfrmMain window;
};

}  // namespace

TEST_F(PollingLineLoss, APulledAdapterIsLoggedOnceAndPollingResumesOnlyWhenThatAdapterIsBack)
{
    const QString lost = QStringLiteral("Porta COM9: dispositivo seriale scollegato");
    const QString back = QStringLiteral("Porta COM9 di nuovo disponibile: interrogazione ripresa");
    test::ModalBoxes boxes;
    Click();
    ASSERT_TRUE(RequestArrives()) << "the first poll is on the line";
    Unplug();
    ASSERT_TRUE(WaitFor([&] { return Lines(lost) == 1; }));
    EXPECT_TRUE(page().listLog->item(page().listLog->count() - 1)->text().contains("errore di sistema 5"));
    EXPECT_FALSE(page().mbConn->Active());
    EXPECT_TRUE(page().FRunning);
    ASSERT_NO_FATAL_FAILURE(WaitTicks(3));
    EXPECT_EQ(Lines(lost), 1);
    EXPECT_EQ(Lines(QStringLiteral("Nessuna risposta ricevuta!")), 0);

    // Another adapter comes to stand for the number: its module is not the one polled.
    test::PtyPair other;
    ports.Publish(kCom, other.SlavePath());
    ASSERT_NO_FATAL_FAILURE(WaitTicks(3));
    EXPECT_FALSE(page().mbConn->Active());
    EXPECT_TRUE(other.Receive(1, 0ms).empty());
    EXPECT_EQ(Lines(back), 0);
    EXPECT_EQ(Lines(lost), 1);

    Plug();
    EXPECT_TRUE(RequestArrives()) << "polling resumed on the adapter's new line";
    EXPECT_TRUE(page().mbConn->Active());
    EXPECT_EQ(Lines(back), 1);

    // Gone again, and stopped while it is gone.
    Unplug();
    ASSERT_TRUE(WaitFor([&] { return Lines(lost) == 2; }));
    QElapsedTimer clock;
    clock.start();
    Click();
    EXPECT_LT(clock.elapsed(), 100);
    EXPECT_FALSE(page().FRunning);
    EXPECT_FALSE(window.Timer1()->isActive());
    EXPECT_EQ(page().btnStartStop->text(), "Avvia");
    EXPECT_TRUE(boxes.Texts().isEmpty()) << boxes.Texts().join('|').toStdString();
}

TEST_F(PollingLineLoss, ArrestaDuringAPollOfASilentModuleDoesNotStallTheWindow)
{
    Click();
    ASSERT_TRUE(RequestArrives());
    QTest::qWait(200);  // 200 ms into the 2500 ms wait for a reply that never comes

    QElapsedTimer sinceTick;
    qint64 longestGap = 0;
    QTimer tick;
    QObject::connect(&tick, &QTimer::timeout, [&] { longestGap = std::max(longestGap, sinceTick.restart()); });
    int linesAtStop = -1;
    QTimer::singleShot(0, [&] {
        Click();
        linesAtStop = page().listLog->count();
    });
    sinceTick.start();
    tick.start(10);
    QTest::qWait(3000);  // past the receive time-out the poll would have waited for
    tick.stop();

    EXPECT_LT(longestGap, 100) << "the window stood still for " << longestGap << " ms";
    EXPECT_FALSE(page().FRunning);
    EXPECT_FALSE(page().mbConn->Active());
    EXPECT_EQ(page().listLog->count(), linesAtStop) << "nothing of the cut exchange arrives afterwards";
    EXPECT_EQ(page().FStats.FTimeouts, 0);
}
