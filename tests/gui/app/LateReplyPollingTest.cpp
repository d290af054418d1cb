// "Controllo" against a module that answers one request too late: its reply to the first
// block comes only after the request for the second went out, and the right reply 20 ms
// behind it. Both replies have the same address, function and length; the page must never
// show the first block's words as currents and voltages. The module is a plain peer on a
// pseudo-terminal, not the simulator, so nothing of ours decides how it answers.
#include "gui/app/PollingFixture.h"
#include "modbus/ModbusFrames.h"

#include <atomic>
#include <thread>

using namespace veltro;
using namespace std::chrono_literals;

namespace {

// The module's registers as FillModule sets them, answered from the test's own frames.
class LateModule {
public:
    LateModule()
    {
        modbus_mapping_t* map = modbus_mapping_new(0, 0, app::kModuleRegisterCount, 0);
        test::FillModule(*map);
        registers_.assign(map->tab_registers, map->tab_registers + app::kModuleRegisterCount);
        modbus_mapping_free(map);
    }

    std::vector<uint8_t> Reply(uint16_t start, uint16_t count) const
    {
        std::vector<uint8_t> frame = {100, 3, static_cast<uint8_t>(2 * count)};
        for (uint16_t i = 0; i < count; ++i) {
            frame.push_back(static_cast<uint8_t>(registers_[start + i] >> 8));
            frame.push_back(static_cast<uint8_t>(registers_[start + i] & 0xFF));
        }
        const uint16_t crc = modbus::Crc16(frame.data(), static_cast<int32_t>(frame.size()));
        frame.push_back(static_cast<uint8_t>(crc & 0xFF));
        frame.push_back(static_cast<uint8_t>(crc >> 8));
        return frame;
    }

private:
    std::vector<uint16_t> registers_;
};

uint16_t StartOf(const std::vector<uint8_t>& request)
{
    return request.size() == 8 ? static_cast<uint16_t>(request[2] << 8 | request[3]) : 0xFFFF;
}

class LateReplyPolling : public ::testing::Test {
protected:
    void SetUp() override
    {
        QLocale::setDefault(QLocale(QStringLiteral("it_IT")));
        ports.Publish(1, pty.SlavePath());
        window.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    }
    void TearDown() override
    {
        stop = true;
        if (peer.joinable())
            peer.join();
        if (window.tabTest()->FRunning)
            QTest::mouseClick(window.tabTest()->btnStartStop, Qt::LeftButton);
        QLocale::setDefault(QLocale::c());
    }

    // Answers every request in turn, except that the second request for the first block
    // is answered only behind the request after it.
    void Serve()
    {
        int firstBlockRequests = 0;
        while (!stop) {
            const std::vector<uint8_t> request = pty.Receive(8, 200ms);
            const uint16_t start = StartOf(request);
            const auto block = std::find_if(app::kModuleBlocks.begin(), app::kModuleBlocks.end(),
                                            [&](const auto& b) { return b.start == start; });
            if (block == app::kModuleBlocks.end())
                continue;
            if (start == 0 && ++firstBlockRequests == 2) {
                late = true;
                continue;
            }
            if (late.exchange(false)) {
                pty.Send(module.Reply(0, 58));
                std::this_thread::sleep_for(20ms);  // the gap between the late reply and the right one
                lateSent = true;
            }
            pty.Send(module.Reply(block->start, block->count));
        }
    }

    std::vector<QString> CurrentsAndVoltages()
    {
        std::vector<QString> cells;
        for (int row = 11; row <= 16; ++row)
            cells.push_back(window.tabTest()->gridTotals->item(row, 1)->text());
        return cells;
    }

    test::PortDir ports;
    test::PtyPair pty;
    LateModule module;
    app::TfrmMain window;
    std::thread peer;
    std::atomic<bool> stop{false};
    std::atomic<bool> late{false};
    std::atomic<bool> lateSent{false};
};

TEST_F(LateReplyPolling, TheLateReplyNeverShowsAsTheNextBlocksValues)
{
    const std::vector<QString> right = {"2,500", "2,250", "2,750", "230,0", "231,0", "229,0"};
    peer = std::thread([this] { Serve(); });
    app::PageMonitor& page = *window.tabTest();
    QTest::mouseClick(page.btnStartStop, Qt::LeftButton);
    ASSERT_TRUE(page.FRunning);
    ASSERT_TRUE(QTest::qWaitFor([&] { return CurrentsAndVoltages() == right; }, 10000));

    // Every value that changes from here on is checked (a cell set to the text it holds
    // does not change): at the late burst, the exchanges after it, and the second block
    // read again once the line has settled.
    std::vector<QString> shown;
    QObject::connect(page.gridTotals, &QTableWidget::itemChanged, [&](QTableWidgetItem* item) {
        if (item->row() >= 11 && item->row() <= 16 && item->column() == 1)
            shown.push_back(item->text());
    });
    const int answeredBefore = page.FStats.FResponses;
    ASSERT_TRUE(QTest::qWaitFor([&] { return lateSent && page.FStats.FResponses >= answeredBefore + 4; }, 15000));
    for (const QString& text : shown)
        EXPECT_TRUE(std::find(right.begin(), right.end(), text) != right.end()) << text.toStdString();
    EXPECT_EQ(CurrentsAndVoltages(), right);
    EXPECT_GE(page.FStats.FTimeouts, 1) << "the first block that was answered late";
}

}  // namespace
