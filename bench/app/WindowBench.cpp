// The window's two line workflows measured end to end, each against the least time its
// line allows:
//
// - the poll cycle of the "Controllo" page (three blocks, from one request for block 1
//   to the next), against a libmodbus server behind a paced 9600 8N1 line. Arg
//   "expected" 1 is the page as it is, ending each reply as soon as it is complete: its
//   floor is 3 x (100 ms timer + request and reply line time). Arg 0 ends each reply at
//   the end-of-frame silence instead, and its floor has that silence added three times.
// - the read run of the "Configurazione" page ("1. Leggi" until "Fine lavoro"), against
//   the simulated meter with pacing on, with and without the serial port's data-arrival
//   signalling. Its floor is the line time of every byte that crossed the line plus the
//   pauses the dialogue prescribes.
#include "peers/Figures.h"
#include "peers/PacedModbusPeer.h"

#include "app/FormMain.h"
#include "app/PageConfig.h"
#include "app/PageControl.h"
#include "app/PageMonitor.h"
#include "link/CommInt.h"
#include "modbus/ModbusConnection.h"
#include "platform/QtUiDispatcher.h"
#include "simulator/Simulator.h"
#include "support/PtyPair.h"
#include "support/UserFolders.h"

#include <QAbstractItemModel>
#include <QApplication>
#include <QEventLoop>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <optional>
#include <vector>

namespace {

using namespace veltro;
using bench::Clock;
using bench::Median;
using bench::Ms;
using bench::Report;

// The request for block 1 to the default server address 100: 64 03 0000 003A.
constexpr const char* kBlock1Request = "Send: 64030000003A";

// Runs the event loop until the page logs its next request for block 1; the time it
// was logged, or nullopt after the time-out.
std::optional<Clock::time_point> NextBlock1Request(app::PageMonitor& page, std::chrono::milliseconds timeout)
{
    QEventLoop loop;
    std::optional<Clock::time_point> seen;
    QAbstractItemModel* model = page.listLog->model();
    const auto connection = QObject::connect(model, &QAbstractItemModel::rowsInserted, &loop,
                                             [&](const QModelIndex&, int first, int last) {
                                                 for (int row = first; row <= last && !seen; ++row)
                                                     if (model->index(row, 0).data().toString().contains(
                                                             QLatin1String(kBlock1Request)))
                                                         seen = Clock::now();
                                                 if (seen)
                                                     loop.quit();
                                             });
    QTimer::singleShot(timeout, &loop, &QEventLoop::quit);
    loop.exec();
    QObject::disconnect(connection);
    return seen;
}

void BM_PollCycle(benchmark::State& state)
{
    test::PortDir dir;
    const sim::LineFormat format{9600, 8, 'N', 1};
    bench::PacedModbusPeer peer(dir.Path(), 1, format);
    app::TfrmMain window;
    window.show();
    if (!QTest::qWaitForWindowExposed(&window)) {
        state.SkipWithError("window not exposed");
        return;
    }
    app::PageMonitor& page = *window.tabTest();
    const bool expected = state.range(0) != 0;
    if (!expected)
        page.mbConn->SetFrameEnd(modbus::feSilence);
    QTest::mouseClick(page.btnStartStop, Qt::LeftButton);
    if (!page.FRunning) {
        state.SkipWithError("polling did not start");
        return;
    }

    // 100 ms timer, then request (8 bytes) and reply (5 + 2 x count bytes) on the line,
    // then, by the silence rule, the end-of-frame silence, for each of the three blocks.
    const double character = Ms(format.CharacterTime());
    const double silence = page.mbConn->CharTimeout();
    double floor = 0;
    for (int count : {58, 58, 60})
        floor += 100.0 + (8 + 5 + 2 * count) * character + (expected ? 0.0 : silence);

    std::vector<double> elapsed, floors;
    auto previous = NextBlock1Request(page, std::chrono::seconds(10));  // the first cycle warms up
    for (auto _ : state) {
        const auto next = NextBlock1Request(page, std::chrono::seconds(10));
        if (!previous || !next) {
            state.SkipWithError("polling stalled");
            break;
        }
        const double ms = Ms(*next - *previous);
        state.SetIterationTime(ms / 1000.0);
        elapsed.push_back(ms);
        floors.push_back(floor);
        previous = next;
    }
    state.counters["silence_ms"] = silence;
    if (page.FStats.FTimeouts + page.FStats.FUnmatched + page.FStats.FExceptions + page.FStats.FInvalid != 0)
        state.SkipWithError("a poll failed");
    Report(state, elapsed, floors);
    QTest::mouseClick(page.btnStartStop, Qt::LeftButton);
}

// Pauses the read run prescribes: 50 ms after the first wake-up, 5 ms before each of the
// seven writes (wake-up, sign-on, option select, three reads, break), and a 20 ms quiet
// line before each of the three reads.
constexpr double kReadRunPausesMs = 50.0 + 7 * 5.0 + 3 * 20.0;

void BM_IecReadRun(benchmark::State& state)
{
    const bool signalled = state.range(0) != 0;
    link::TCustomComm::SetDefaultSignalDataArrival(signalled);
    test::PortDir dir;
    sim::Simulator sim({dir.Path(), 1, true});
    sim.Start();
    app::TfrmMain window;
    window.show();
    if (!QTest::qWaitForWindowExposed(&window)) {
        state.SkipWithError("window not exposed");
        return;
    }
    app::PageConfig& page = *window.tabConfig();
    window.pageControl()->setCurrentWidget(&page);
    page.editCommIdent->setText(QString::fromStdString(sim.State().CommIdent()));
    const double character = Ms(sim.MeterPort()->Format().CharacterTime());

    std::vector<double> elapsed, floors;
    for (auto _ : state) {
        const uint64_t bytes0 = sim.MeterPort()->BytesHeard() + sim.MeterPort()->BytesSent();
        const auto start = Clock::now();
        QTest::mouseClick(page.btnReadConfig, Qt::LeftButton);  // the run is synchronous
        const auto end = Clock::now();
        const QString log = page.memoLog1->toPlainText();
        if (!log.endsWith(QLatin1String("Fine lavoro")) || log.contains(QLatin1String("fallita")) ||
            log.contains(QLatin1String("Errore"))) {
            state.SkipWithError("the read run failed");
            break;
        }
        const uint64_t bytes = sim.MeterPort()->BytesHeard() + sim.MeterPort()->BytesSent() - bytes0;
        const double ms = Ms(end - start);
        state.SetIterationTime(ms / 1000.0);
        elapsed.push_back(ms);
        floors.push_back(static_cast<double>(bytes) * character + kReadRunPausesMs);
        // The meter notices the port closing between runs; let it, as a user's next click would.
        QTest::qWait(20);
    }
    Report(state, elapsed, floors);
    link::TCustomComm::SetDefaultSignalDataArrival(true);
}

BENCHMARK(BM_PollCycle)->ArgName("expected")->Arg(1)->Arg(0)->UseManualTime()->Iterations(7)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_IecReadRun)->ArgName("signalled")->Arg(1)->Arg(0)->UseManualTime()->Iterations(9)->Unit(
    benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    if (qEnvironmentVariableIsEmpty("VELTRO_DEBUG_OUTPUT"))
        qputenv("VELTRO_DEBUG_OUTPUT", "0");
    QApplication app(argc, argv);
    const test::UserFolders folders;  // the window starts from its defaults and keeps nothing
    platform::QtUiDispatcher dispatcher;
    platform::InstallUiDispatcher(&dispatcher);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    platform::InstallUiDispatcher(nullptr);
    return 0;
}
