// veltro measured from outside, as a script runs it: spawned, until it has exited, against
// the least time its line allows (the same floors as the window's rows):
//
// - BM_CliReadRun: `veltro leggi` against the simulated meter with pacing on. Floor: the
//   line time of every byte that crossed the line plus the pauses the dialogue prescribes.
// - BM_CliPollCycle: `veltro interroga --cicli 1` against the libmodbus peer behind a
//   paced 9600 8N1 line. Floor: 3 x (100 ms timer + request and reply line time), the
//   window's cycle. A program that opens the port also waits, before its first request,
//   for the line to be quiet for one end-of-frame silence (the Modbus worker's settle,
//   188 ms at 9600 bit/s), which the first 100 ms timer overlaps: "open_floor_ms" adds
//   the difference. The window's "Avvia" pays it too, before its first cycle.
// - BM_CliFirstByte: from spawning `veltro leggi` to the first byte on the optical head's
//   line, read by a pseudo-terminal peer: the program's start-up as the meter sees it.
#include "peers/Figures.h"
#include "peers/PacedModbusPeer.h"

#include "core/ModulePoller.h"
#include "modbus/ModbusConnection.h"
#include "simulator/Simulator.h"
#include "support/PtyPair.h"
#include "support/UserFolders.h"

#include <QCoreApplication>
#include <benchmark/benchmark.h>

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>

#include <algorithm>
#include <chrono>
#include <string>
#include <thread>
#include <vector>

extern char** environ;

namespace {

using namespace veltro;
using bench::Clock;
using bench::Median;
using bench::Ms;
using bench::Report;

// Starts veltro with its output thrown away; -1 when it could not be started.
pid_t Spawn(std::vector<std::string> args)
{
    args.insert(args.begin(), VELTRO_CLI_PROGRAM);
    std::vector<char*> argv;
    for (std::string& a : args)
        argv.push_back(a.data());
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    pid_t pid = -1;
    if (posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ) != 0)
        pid = -1;
    posix_spawn_file_actions_destroy(&actions);
    return pid;
}

// Runs veltro to its end; the time from spawning it to its exit, or nothing when it failed.
std::optional<double> RunToExit(const std::vector<std::string>& args)
{
    const auto start = Clock::now();
    const pid_t pid = Spawn(args);
    int status = 0;
    if (pid < 0 || ::waitpid(pid, &status, 0) != pid || !WIFEXITED(status) || WEXITSTATUS(status) != 0)
        return std::nullopt;
    return Ms(Clock::now() - start);
}

// Pauses the read run prescribes: 50 ms after the first wake-up, 5 ms before each of the
// seven writes, and a 20 ms quiet line before each of the three reads (as the window's row).
constexpr double kReadRunPausesMs = 50.0 + 7 * 5.0 + 3 * 20.0;

void BM_CliReadRun(benchmark::State& state)
{
    test::PortDir dir;
    sim::Simulator sim({dir.Path(), 1, true});
    sim.Start();
    const double character = Ms(sim.MeterPort()->Format().CharacterTime());
    std::vector<double> elapsed, floors;
    for (auto _ : state) {
        const uint64_t bytes0 = sim.MeterPort()->BytesHeard() + sim.MeterPort()->BytesSent();
        const std::optional<double> ms = RunToExit({"leggi", "--id", sim.State().CommIdent(), "-q"});
        if (!ms) {
            state.SkipWithError("the read run failed");
            break;
        }
        const uint64_t bytes = sim.MeterPort()->BytesHeard() + sim.MeterPort()->BytesSent() - bytes0;
        state.SetIterationTime(*ms / 1000.0);
        elapsed.push_back(*ms);
        floors.push_back(static_cast<double>(bytes) * character + kReadRunPausesMs);
        // The meter notices the port closing between runs, as before a script's next one.
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    Report(state, elapsed, floors);
}

void BM_CliPollCycle(benchmark::State& state)
{
    test::PortDir dir;
    const sim::LineFormat format{9600, 8, 'N', 1};
    bench::PacedModbusPeer peer(dir.Path(), 1, format);
    const double character = Ms(format.CharacterTime());
    double floor = 0;
    for (int count : {58, 58, 60})
        floor += 100.0 + (8 + 5 + 2 * count) * character;
    modbus::TModbusConnection connection;
    core::UseMonitorTiming(connection);
    core::ApplyRtuSettings(connection, core::RtuSettings{});
    const double settle = connection.CharTimeout();
    std::vector<double> elapsed, floors;
    for (auto _ : state) {
        const std::optional<double> ms = RunToExit({"interroga", "--porta", "1", "--cicli", "1", "-q"});
        if (!ms) {
            state.SkipWithError("the poll cycle failed");
            break;
        }
        state.SetIterationTime(*ms / 1000.0);
        elapsed.push_back(*ms);
        floors.push_back(floor);
    }
    Report(state, elapsed, floors);
    state.counters["open_floor_ms"] = floor - 100.0 + std::max(100.0, settle);
}

void BM_CliFirstByte(benchmark::State& state)
{
    test::PortDir dir;
    std::vector<double> elapsed;
    for (auto _ : state) {
        // A fresh line each time: the last run's was closed under the program's lock.
        test::PtyPair line;
        dir.Unpublish(1);
        dir.Publish(1, line.SlavePath());
        const auto start = Clock::now();
        const pid_t pid = Spawn({"leggi", "--id", "1", "-q"});
        struct pollfd p {line.MasterFd(), POLLIN, 0};
        const bool heard = pid > 0 && ::poll(&p, 1, 2000) == 1 && (p.revents & POLLIN);
        const double ms = Ms(Clock::now() - start);
        if (pid > 0) {
            ::kill(pid, SIGKILL);
            ::waitpid(pid, nullptr, 0);
        }
        if (!heard) {
            state.SkipWithError("nothing came on the line");
            break;
        }
        state.SetIterationTime(ms / 1000.0);
        elapsed.push_back(ms);
    }
    Report(state, elapsed, {});
}

BENCHMARK(BM_CliReadRun)->UseManualTime()->Iterations(9)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_CliPollCycle)->UseManualTime()->Iterations(7)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_CliFirstByte)->UseManualTime()->Iterations(21)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("VELTRO_DEBUG_OUTPUT"))
        qputenv("VELTRO_DEBUG_OUTPUT", "0");
    QCoreApplication app(argc, argv);
    // The program keeps its records and COM map in folders of its own for the run.
    const test::UserFolders folders;
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
