// "Controllo" reaching the simulated module through a gateway on the loopback address, in
// both framings, beside the RS485 port: the same values on the page whichever way, the
// frames in the log as they cross the link, and a gateway that refuses the connection.
#include "app/FormMain.h"
#include "app/PageMonitor.h"
#include "app/PortField.h"
#include "phasor/PolarDiagram.h"
#include "simulator/Simulator.h"
#include "support/Loopback.h"
#include "support/PtyPair.h"

#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QTableWidget>
#include <QTest>
#include <gtest/gtest.h>


using namespace veltro;

namespace {

struct Link {
    int choice;          // position in "Collegamento"
    const char* first;   // the first frame sent, as the log shows it
    const char* name;
};

void PrintTo(const Link& l, std::ostream* os) { *os << l.name; }

class GatewayPolling : public ::testing::TestWithParam<Link> {
protected:
    void SetUp() override
    {
        QLocale::setDefault(QLocale(QStringLiteral("it_IT")));
        const modbus::TLinkType type = GetParam().choice == 1 ? modbus::ltRtuOverTcp : modbus::ltModbusTcp;
        if (GetParam().choice != 0)
            sim.Module().ServeTcp(sim::ModuleSim::TcpService{gateway, type});
        sim.Start();
        window.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
        page().editComPort->setText(QStringLiteral("2"));
        page().editMBAddress->setText(QStringLiteral("178"));
    }
    void TearDown() override
    {
        if (page().FRunning)
            QTest::mouseClick(page().btnStartStop, Qt::LeftButton);
        QLocale::setDefault(QLocale::c());
    }
    app::PageMonitor& page() { return *window.tabTest(); }
    void Choose(int choice, const std::string& endpoint)
    {
        page().cmbLink->setCurrentIndex(choice);
        page().editGateway->setText(QString::fromStdString(endpoint));
    }

    const std::string gateway = test::FreeLoopbackEndpoint();
    test::PortDir ports;
    sim::Simulator sim{sim::SimulatorOptions{ports.Path(), 1, false, 2}};
    app::TfrmMain window;
};

TEST_P(GatewayPolling, ShowsTheModulesValuesAsOnItsLine)
{
    Choose(GetParam().choice, gateway);
    const bool tcp = GetParam().choice != 0;
    EXPECT_EQ(page().cmbMB2Bps->isEnabled(), !tcp) << "line settings belong to the gateway";
    EXPECT_EQ(page().editComPort->isEnabled(), !tcp);
    if (tcp) {
        EXPECT_EQ(page().lblGatewayInUse->FullText(),
                  QString::fromStdString(gateway) + (GetParam().choice == 1 ? " — Modbus RTU su TCP" : " — Modbus TCP"));
    }
    QTest::mouseClick(page().btnStartStop, Qt::LeftButton);
    ASSERT_TRUE(QTest::qWaitFor([&] { return page().FStats.FResponses >= 3; }, 15000));
    EXPECT_TRUE(page().listLog->item(0)->text().endsWith(GetParam().first)) << page().listLog->item(0)->text().toStdString();
    EXPECT_EQ(page().lblMatricola->text(), "12345678");
    for (int row = 14; row <= 16; ++row) {  // voltages near 230 V
        const QString v = page().gridTotals->item(row, 1)->text();
        EXPECT_TRUE(v.startsWith("22") || v.startsWith("23")) << v.toStdString();
    }
    EXPECT_NEAR(page().FDiagram->Frequency(), 50.0, 0.5);
    EXPECT_EQ(page().gridProfiles->item(1, 1)->text(), "P.01");
    EXPECT_EQ(page().FStats.FTimeouts + page().FStats.FExceptions + page().FStats.FUnmatched, 0);
}

INSTANTIATE_TEST_SUITE_P(
    Links, GatewayPolling,
    ::testing::Values(Link{0, " Send: B2030000003ADFDA", "SerialPort"},
                      Link{1, " Send: B2030000003ADFDA", "RtuOverTcp"},
                      Link{2, " Send: 000000000006B2030000003A", "ModbusTcp"}),
    [](const ::testing::TestParamInfo<Link>& info) { return std::string(info.param.name); });

class RefusingGateway : public GatewayPolling {};

TEST_P(RefusingGateway, EndsPollingWithItsReason)
{
    Choose(GetParam().choice, test::FreeLoopbackEndpoint());  // nobody listens there
    QTest::mouseClick(page().btnStartStop, Qt::LeftButton);
    ASSERT_TRUE(QTest::qWaitFor([&] { return !page().FRunning; }, 5000));
    const QString last = page().listLog->item(page().listLog->count() - 1)->text();
    EXPECT_TRUE(last.contains(": connessione rifiutata")) << last.toStdString();
    EXPECT_EQ(page().btnStartStop->text(), "Avvia");
    EXPECT_TRUE(page().grpModbus->isEnabled());
}

INSTANTIATE_TEST_SUITE_P(Links, RefusingGateway, ::testing::Values(Link{2, "", "ModbusTcp"}),
                         [](const ::testing::TestParamInfo<Link>& info) { return std::string(info.param.name); });

}  // namespace
