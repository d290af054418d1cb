// One read of 58 holding registers from a libmodbus RTU server over pseudo-terminals: our
// client against a libmodbus client on the same server and line.
//
// Arg "expected" 1: our client ends the reply as soon as the length the request calls for
// is in and its CRC checks, as libmodbus does; the difference between the two medians is
// then our own overhead (worker hand-over, posting, UI-thread delivery and decoding).
// Arg 0: it waits for the end-of-frame silence instead (at 19200 bit/s and 4 characters,
// its 20 ms floor), for comparison.
//
// BM_*ModbusTcp: 1000 reads over loopback Modbus TCP from a libmodbus TCP server.
//
// Arg "paced" 0: the pty moves bytes instantly, so the figures are software alone. Arg 1:
// the same kind of server behind a line paced at 19200 8N1, where both clients also wait
// for the 129 characters of request and reply, as on a cable.

#include "integration/modbus/LibmodbusPeer.h"
#include "peers/PacedModbusPeer.h"

#include "modbus/ModbusClient.h"
#include "modbus/ModbusConnection.h"
#include "platform/ManualUiDispatcher.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <functional>
#include <memory>
#include <vector>

namespace {

using namespace veltro;
using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

constexpr int ServerAddress = 1;
constexpr int RegCount = 58;

struct Line {
    test::PortDir Dir;
    modbus::test::PtyBridge Bridge;
    modbus::test::LibmodbusServer Server{Bridge.ServerPath(), ServerAddress};
    // COM2: the paced line.
    bench::PacedModbusPeer Paced{Dir.Path(), 2, sim::LineFormat{19200, 8, 'N', 1}, ServerAddress};
    Line()
    {
        Dir.Publish(1, Bridge.ClientPath());
        Server.WithMap([](modbus_mapping_t& M) {
            for (int I = 0; I < RegCount; ++I)
                M.tab_registers[I] = static_cast<std::uint16_t>(I * 7);
        });
    }
    std::string PortName(bool P) const { return P ? "COM2" : "COM1"; }
    std::string DevicePath(bool P) const { return P ? Dir.Path() + "/COM2" : Bridge.ClientPath(); }
};

Line& SharedLine()
{
    static Line L;
    return L;
}

void ReportTimes(benchmark::State& State, std::vector<double>& Seconds)
{
    if (Seconds.empty())
        return;
    double Total = 0;
    for (double S : Seconds)
        Total += S;
    State.counters["total_ms"] = Total * 1000.0;
    std::sort(Seconds.begin(), Seconds.end());
    State.counters["median_ms"] = Seconds[Seconds.size() / 2] * 1000.0;
}

// Times one read per iteration with our connection and client; Check judges each reply.
void TimeOurReads(benchmark::State& State, modbus::TModbusConnection& Conn, platform::ManualUiDispatcher& Ui,
                  const std::function<bool(const modbus::TRegValues&)>& Check)
{
    modbus::TModbusClient Client;
    Client.SetServerAddress(ServerAddress);
    Client.SetConnection(&Conn);
    bool Done = false;
    bool Ok = true;
    Client.OnHoldingRegistersRead = [&](modbus::TModbusClient&, modbus::TTransactionInfo& Info, std::uint16_t,
                                        std::uint16_t, const modbus::TRegValues& V) {
        Ok = Ok && Info.ReplyStatus == modbus::rsSuccess && V.size() == RegCount && Check(V);
        Done = true;
    };
    Conn.SetActive(true);
    State.counters["silence_ms"] = Conn.CharTimeout();
    std::vector<double> Seconds;
    for (auto _ : State) {
        Done = false;
        const auto Start = Clock::now();
        Client.ReadHoldingRegisters(0, RegCount);
        Ui.PumpUntil([&] { return Done; }, 5s);
        const double Elapsed = std::chrono::duration<double>(Clock::now() - Start).count();
        State.SetIterationTime(Elapsed);
        Seconds.push_back(Elapsed);
    }
    if (!Ok)
        State.SkipWithError("a read failed");
    ReportTimes(State, Seconds);
    Conn.SetActive(false);
}

// The same with a libmodbus context, which it frees.
void TimeLibmodbusReads(benchmark::State& State, modbus_t* Ctx)
{
    modbus_set_slave(Ctx, ServerAddress);
    if (modbus_connect(Ctx) != 0) {
        State.SkipWithError("modbus_connect failed");
        modbus_free(Ctx);
        return;
    }
    std::uint16_t Regs[RegCount];
    std::vector<double> Seconds;
    bool Ok = true;
    for (auto _ : State) {
        const auto Start = Clock::now();
        Ok = Ok && modbus_read_registers(Ctx, 0, RegCount, Regs) == RegCount;
        const double Elapsed = std::chrono::duration<double>(Clock::now() - Start).count();
        State.SetIterationTime(Elapsed);
        Seconds.push_back(Elapsed);
    }
    if (!Ok)
        State.SkipWithError("a read failed");
    ReportTimes(State, Seconds);
    modbus_close(Ctx);
    modbus_free(Ctx);
}

void BM_OurClient(benchmark::State& State)
{
    Line& L = SharedLine();
    const bool Paced = State.range(0) != 0;
    platform::ManualUiDispatcher Ui;
    modbus::TModbusConnection Conn(&Ui);
    Conn.SetPort(L.PortName(Paced));
    Conn.SetParity(modbus::psNone);
    Conn.SetReceiveTimeout(2000);
    Conn.SetFrameEnd(State.range(1) != 0 ? modbus::feExpectedLength : modbus::feSilence);
    TimeOurReads(State, Conn, Ui, [&](const modbus::TRegValues& V) { return Paced || V[57] == 57 * 7; });
}

void BM_LibmodbusClient(benchmark::State& State)
{
    const bool Paced = State.range(0) != 0;
    TimeLibmodbusReads(State, modbus_new_rtu(SharedLine().DevicePath(Paced).c_str(), 19200, 'N', 8, 1));
}

// 1000 reads of 58 registers over loopback Modbus TCP from a libmodbus server: the whole
// time of each client, side by side.
modbus::test::LibmodbusTcpServer& SharedTcpServer()
{
    static modbus::test::LibmodbusTcpServer Server;
    return Server;
}

void BM_OurClientModbusTcp(benchmark::State& State)
{
    platform::ManualUiDispatcher Ui;
    modbus::TModbusConnection Conn(&Ui);
    Conn.SetLink(modbus::ltModbusTcp);
    Conn.SetGateway("127.0.0.1:" + std::to_string(SharedTcpServer().Port()));
    Conn.SetReceiveTimeout(2000);
    TimeOurReads(State, Conn, Ui, [](const modbus::TRegValues& V) { return V[0] == 500; });
}

void BM_LibmodbusClientModbusTcp(benchmark::State& State)
{
    TimeLibmodbusReads(State, modbus_new_tcp("127.0.0.1", SharedTcpServer().Port()));
}

BENCHMARK(BM_OurClientModbusTcp)->UseManualTime()->Iterations(1000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_LibmodbusClientModbusTcp)->UseManualTime()->Iterations(1000)->Unit(benchmark::kMillisecond);

BENCHMARK(BM_OurClient)->ArgNames({"paced", "expected"})->Args({0, 1})->Args({0, 0})->UseManualTime()->Iterations(100)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_LibmodbusClient)->ArgName("paced")->Arg(0)->UseManualTime()->Iterations(100)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_OurClient)->ArgNames({"paced", "expected"})->Args({1, 1})->Args({1, 0})->UseManualTime()->Iterations(30)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_LibmodbusClient)->ArgName("paced")->Arg(1)->UseManualTime()->Iterations(30)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
