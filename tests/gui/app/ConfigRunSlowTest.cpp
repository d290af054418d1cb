// Runs that wait for the IEC client's real time-outs and retries.
#include "gui/app/ConfigRunFixture.h"
#include "gui/ModalBox.h"

using namespace veltro;
using test::ConfigRun;

TEST_F(ConfigRun, AMeterThatDoesNotAnswerFailsTheSignOn)
{
    sim::MeterFaults silent;
    silent.silent = true;
    sim.Meter().SetFaults(silent);
    Read();
    EXPECT_EQ(Log(page.memoLog1),
              QStringList({"Connessione fisica", "Connessione al contatore 12345678", "Connessione al contatore fallita",
                           "Disconnessione fisica", "Fine lavoro"}));
    EXPECT_FALSE(WriteControlsEnabled());
}

TEST_F(ConfigRun, ALineLostInTheMiddleOfARunEndsItAndReleasesThePort)
{
    sim::MeterFaults slow;
    slow.replyDelay = std::chrono::milliseconds(200);
    sim.Meter().SetFaults(slow);
    test::ModalBoxes boxes;  // an error the run raises ends in the error box
    QTimer cut;
    cut.setSingleShot(true);
    QObject::connect(&cut, &QTimer::timeout, [&] {
        if (page.memoLog1->toPlainText().contains("Lettura matricola"))
            sim.Stop();
        else
            cut.start(10);
    });
    cut.start(10);
    Read();
    const QStringList log = Log(page.memoLog1);
    EXPECT_FALSE(log.contains("Lettura configurazione seriale modbus") && log.last() == "Fine lavoro" &&
                 !log.join('|').contains("Errore"))
        << log.join('|').toStdString();
    EXPECT_TRUE(page.btnReadConfig->isEnabled());
    EXPECT_TRUE(page.editCommIdent->isEnabled());
    EXPECT_FALSE(page.btnWriteConfig->isEnabled());

    // The port was released: with the meter back, the next run works.
    sim.Meter().SetFaults({});
    sim.Start();
    Read();
    EXPECT_EQ(Log(page.memoLog1), test::kReadLog);
}
