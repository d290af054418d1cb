// CPU and memory of the window while it polls: the real window in this process, started
// with its "Avvia" button against a paced libmodbus module that runs in a child process,
// so the figures are the window's alone. Prints one line of key=value pairs:
//
//   bench_app_PollingLoad [seconds] [--registra | --gateway]
//
// (default 30 s; --registra: with "Registra" on, a row per cycle; --gateway: through a
// Modbus TCP server on the loopback address, standing in for a gateway)
//
// The trend chart follows the cycles either way, as it does on the page.
// The program itself cannot be clicked from outside, hence this host; scripts/bench
// measures the program's own idle load and start-up directly.
#include "peers/PacedModbusPeer.h"

#include "app/FormMain.h"
#include "app/PageMonitor.h"
#include "integration/modbus/LibmodbusPeer.h"
#include "platform/QtUiDispatcher.h"
#include "support/UserFolders.h"

#include <QApplication>
#include <QComboBox>
#include <QLineEdit>
#include <QEventLoop>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <sys/wait.h>
#include <unistd.h>

namespace {

using namespace veltro;

// utime + stime of this process (every thread), in clock ticks.
long long CpuTicks()
{
    std::ifstream in("/proc/self/stat");
    std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    // Fields after the command name, which is in parentheses and may hold blanks.
    std::istringstream rest(text.substr(text.rfind(')') + 2));
    std::string field;
    long long utime = 0, stime = 0;
    for (int i = 3; i <= 15 && rest >> field; ++i) {
        if (i == 14)
            utime = std::stoll(field);
        if (i == 15)
            stime = std::stoll(field);
    }
    return utime + stime;
}

long long RssKb()
{
    std::ifstream in("/proc/self/status");
    std::string line;
    while (std::getline(in, line))
        if (line.rfind("VmRSS:", 0) == 0)
            return std::stoll(line.substr(6));
    return -1;
}

void RunEventLoop(std::chrono::milliseconds time)
{
    QEventLoop loop;
    QTimer::singleShot(time, &loop, &QEventLoop::quit);
    loop.exec();
}

// The module's side: serves until killed.
[[noreturn]] void ServeModule(const std::string& portDir)
{
    // Blocked before the peer's threads start, so only sigwait below takes it.
    sigset_t stop;
    sigemptyset(&stop);
    sigaddset(&stop, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &stop, nullptr);
    {
        bench::PacedModbusPeer peer(portDir, 1, sim::LineFormat{9600, 8, 'N', 1});
        int signal = 0;
        sigwait(&stop, &signal);
    }
    std::_Exit(0);
}

// A Modbus TCP server in place of a gateway: writes its loopback port to `out`, then
// serves until killed.
[[noreturn]] void ServeGateway(int out)
{
    sigset_t stop;
    sigemptyset(&stop);
    sigaddset(&stop, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &stop, nullptr);
    {
        modbus::test::LibmodbusTcpServer server;
        const std::uint16_t port = server.Port();
        [[maybe_unused]] const ssize_t written = ::write(out, &port, sizeof port);
        ::close(out);
        int signal = 0;
        sigwait(&stop, &signal);
    }
    std::_Exit(0);
}

}  // namespace

int main(int argc, char** argv)
{
    const int seconds = argc > 1 ? std::atoi(argv[1]) : 30;
    const std::string mode = argc > 2 ? argv[2] : "";
    const bool record = mode == "--registra";
    const bool gateway = mode == "--gateway";
    char dirTemplate[] = "/tmp/veltro-bench-XXXXXX";
    if (!::mkdtemp(dirTemplate))
        return 1;
    const std::string portDir = dirTemplate;
    ::setenv("VELTRO_PORT_DIR", portDir.c_str(), 1);

    // Forked before any thread exists, so the child starts clean.
    int pipeFds[2] = {-1, -1};
    if (gateway && ::pipe(pipeFds) != 0)
        return 1;
    const pid_t module = ::fork();
    if (module == 0) {
        if (gateway)
            ServeGateway(pipeFds[1]);
        ServeModule(portDir);
    }
    std::uint16_t gatewayPort = 0;
    if (gateway) {
        ::close(pipeFds[1]);
        if (::read(pipeFds[0], &gatewayPort, sizeof gatewayPort) != static_cast<ssize_t>(sizeof gatewayPort))
            return 1;
        ::close(pipeFds[0]);
    }

    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    int rc = 1;
    {
        QApplication app(argc, argv);
        const test::UserFolders folders;  // the window starts from its defaults and keeps nothing
        platform::QtUiDispatcher dispatcher;
        platform::InstallUiDispatcher(&dispatcher);
        {
            app::TfrmMain window;
            window.show();
            app::PageMonitor& page = *window.tabTest();
            const bool published =
                gateway || QTest::qWaitFor([&] { return std::filesystem::exists(portDir + "/COM1"); }, 5000);
            if (gateway) {  // "Modbus TCP" to the server standing in for the gateway
                page.cmbLink->setCurrentIndex(2);
                page.editGateway->setText(QStringLiteral("127.0.0.1:%1").arg(gatewayPort));
            }
            if (published && QTest::qWaitForWindowExposed(&window)) {
                QTest::mouseClick(page.btnStartStop, Qt::LeftButton);
                RunEventLoop(std::chrono::seconds(2));  // the first cycles settle
                if (record)
                    QTest::mouseClick(page.btnRecord, Qt::LeftButton);
                const auto ticks0 = CpuTicks();
                const auto start = std::chrono::steady_clock::now();
                const auto responses0 = page.FStats.FResponses;
                RunEventLoop(std::chrono::seconds(seconds));
                const double wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
                const double cpu = static_cast<double>(CpuTicks() - ticks0) / static_cast<double>(::sysconf(_SC_CLK_TCK));
                const auto failures = page.FStats.FTimeouts + page.FStats.FUnmatched + page.FStats.FExceptions +
                                      page.FStats.FInvalid;
                std::printf("polling_cpu_pct=%.3f rss_kb=%lld seconds=%.1f responses=%lld failures=%lld recording=%d\n",
                            100.0 * cpu / wall, RssKb(), wall,
                            static_cast<long long>(page.FStats.FResponses - responses0), static_cast<long long>(failures),
                            page.btnRecord->isChecked() ? 1 : 0);
                std::fflush(stdout);
                if (page.FRunning)
                    QTest::mouseClick(page.btnStartStop, Qt::LeftButton);
                rc = 0;
            } else {
                std::fprintf(stderr, "the module's line did not appear or the window was not exposed\n");
            }
        }
        platform::InstallUiDispatcher(nullptr);
    }
    ::kill(module, SIGTERM);
    ::waitpid(module, nullptr, 0);
    std::error_code ec;
    std::filesystem::remove_all(portDir, ec);
    return rc;
}
