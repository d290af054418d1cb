// The veltro-sim program as the demo script and a user run it: it publishes the meter
// in the given port directory, serves it with the state from its options, and withdraws
// it and exits cleanly on SIGTERM or SIGINT.

#include "SimFixture.h"
#include "core/RegisterWords.h"
#include "modbus/ModbusFrames.h"

#include <csignal>
#include <fcntl.h>
#include <filesystem>
#include <optional>
#include <poll.h>
#include <spawn.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

extern char** environ;

namespace veltro::test {
namespace {

namespace fs = std::filesystem;

// Built next to the tests: <build>/tools/simulator/veltro-sim.
std::string ProgramPath()
{
    return (fs::read_symlink("/proc/self/exe").parent_path().parent_path() / "tools/simulator/veltro-sim").string();
}

class Program {
public:
    explicit Program(std::vector<std::string> args)
    {
        args.insert(args.begin(), ProgramPath());
        std::vector<char*> argv;
        for (auto& a : args)
            argv.push_back(a.data());
        argv.push_back(nullptr);
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
        posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
        if (posix_spawn(&pid_, argv[0], &actions, nullptr, argv.data(), environ) != 0)
            pid_ = -1;
        posix_spawn_file_actions_destroy(&actions);
    }
    ~Program()
    {
        if (pid_ > 0 && !exited_) {
            ::kill(pid_, SIGKILL);
            ::waitpid(pid_, nullptr, 0);
        }
    }
    bool Started() const { return pid_ > 0; }
    void Signal(int signal) const { ::kill(pid_, signal); }
    // The exit code, or -1 when it did not end in time or ended by a signal.
    int WaitExit(std::chrono::milliseconds timeout)
    {
        int status = 0;
        const bool ended = WaitUntil([&] { return ::waitpid(pid_, &status, WNOHANG) == pid_; }, timeout);
        exited_ = ended;
        return ended && WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }

private:
    pid_t pid_ = -1;
    bool exited_ = false;
};

class VeltroSimProgramTest : public ::testing::TestWithParam<int> {};

TEST_P(VeltroSimProgramTest, ServesTheGivenStateAndEndsCleanlyOnASignal)
{
    ASSERT_TRUE(fs::exists(ProgramPath())) << ProgramPath();
    PortDir dir;
    Program sim({"--port-dir", dir.Path(), "--meter-port", "3", "--serial", "55501234", "--ident", "77",
                 "--password", "PW"});
    ASSERT_TRUE(sim.Started());
    const fs::path entry = fs::path(dir.Path()) / "COM3";
    ASSERT_TRUE(WaitUntil([&] { return fs::is_symlink(entry); }));

    FdLink line(platform::ResolvePortName("COM3"));
    line.Connect();
    ASSERT_TRUE(line.IsConnected()) << line.LastError;
    link::TIec1107 client;
    client.Link = &line;
    ASSERT_TRUE(client.Connect("77"));
    ASSERT_TRUE(client.SwitchBaudRate());
    ASSERT_TRUE(client.ReadValue("0.0.1"));
    std::string serial;
    client.GetValueText(serial);
    EXPECT_EQ(serial, "55501234");
    EXPECT_TRUE(client.SetPassword("PW"));

    // Ends while a client still holds the line open.
    sim.Signal(GetParam());
    EXPECT_EQ(sim.WaitExit(std::chrono::seconds(5)), 0);
    EXPECT_FALSE(fs::is_symlink(entry));
}

INSTANTIATE_TEST_SUITE_P(Signals, VeltroSimProgramTest, ::testing::Values(SIGTERM, SIGINT),
                         [](const auto& info) { return info.param == SIGTERM ? "Term" : "Int"; });

// Line settings of the client's side: rate, and the parity and stop-bit flags.
struct ClientLine {
    speed_t speed = B9600;
    tcflag_t cflag = 0;  // PARENB, PARODD, CSTOPB
};

// One RTU request on a freshly opened line; the answer up to `length` bytes.
std::vector<uint8_t> ModbusExchange(const std::string& device, std::vector<uint8_t> request, size_t length,
                                    const std::optional<ClientLine>& settings = std::nullopt, int attempts = 10)
{
    const uint16_t crc = modbus::Crc16(request.data(), static_cast<int32_t>(request.size()));
    request.push_back(static_cast<uint8_t>(crc & 0xFF));
    request.push_back(static_cast<uint8_t>(crc >> 8));
    const int fd = ::open(device.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    if (fd < 0)
        return {};
    struct termios t {};
    ::tcgetattr(fd, &t);
    ::cfmakeraw(&t);
    if (settings) {
        ::cfsetspeed(&t, settings->speed);
        t.c_cflag |= settings->cflag;
        if (settings->cflag & PARENB)
            t.c_iflag |= INPCK;
    }
    ::tcsetattr(fd, TCSANOW, &t);
    std::vector<uint8_t> answer;
    // The module ignores what arrives while its line settles after the start: ask again.
    for (int attempt = 0; attempt < attempts && answer.size() < length; ++attempt) {
        if (::write(fd, request.data(), request.size()) != static_cast<ssize_t>(request.size()))
            break;
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(300);
        while (answer.size() < length && std::chrono::steady_clock::now() < deadline) {
            struct pollfd p {fd, POLLIN, 0};
            if (::poll(&p, 1, 20) > 0) {
                uint8_t buf[64];
                const ssize_t n = ::read(fd, buf, sizeof buf);
                if (n > 0)
                    answer.insert(answer.end(), buf, buf + n);
            }
        }
    }
    ::close(fd);
    return answer;
}

TEST(VeltroSimProgramModuleTest, PublishesTheModuleWithItsFaultSwitches)
{
    PortDir dir;
    // The automatic address: the serial number's last two digits plus 100.
    Program sim({"--port-dir", dir.Path(), "--module-port", "4", "--serial", "55501234", "--module-exception", "2"});
    ASSERT_TRUE(sim.Started());
    const fs::path entry = fs::path(dir.Path()) / "COM4";
    ASSERT_TRUE(WaitUntil([&] { return fs::is_symlink(entry); }));
    const std::vector<uint8_t> answer = ModbusExchange(entry.string(), {134, 3, 0, 0, 0, 2}, 5);
    ASSERT_EQ(answer.size(), 5u);
    EXPECT_EQ(answer[0], 134);
    EXPECT_EQ(answer[1], 0x83);
    EXPECT_EQ(answer[2], 2);
    sim.Signal(SIGTERM);
    EXPECT_EQ(sim.WaitExit(std::chrono::seconds(5)), 0);
    EXPECT_FALSE(fs::is_symlink(entry));
}

TEST(VeltroSimProgramModuleTest, ServesTheGivenAddressAndSettingsAndASecondStation)
{
    PortDir dir;
    Program sim({"--port-dir", dir.Path(), "--module-address", "203", "--module-settings", "2400 8O2",
                 "--second-module", "17,99"});
    ASSERT_TRUE(sim.Started());
    const fs::path entry = fs::path(dir.Path()) / "COM2";
    ASSERT_TRUE(WaitUntil([&] { return fs::is_symlink(entry); }));
    const ClientLine odd2{B2400, PARENB | PARODD | CSTOPB};
    const auto serial = [](const std::vector<uint8_t>& reply) {
        uint32_t value = 0;
        const uint16_t words[] = {static_cast<uint16_t>(reply[3] << 8 | reply[4]),
                                  static_cast<uint16_t>(reply[5] << 8 | reply[6])};
        core::WordsToLongWord(words, value);
        return value;
    };
    const std::vector<uint8_t> module = ModbusExchange(entry.string(), {203, 3, 0, 0, 0, 2}, 9, odd2);
    ASSERT_EQ(module.size(), 9u);
    EXPECT_EQ(serial(module), 12345678u);
    const std::vector<uint8_t> second = ModbusExchange(entry.string(), {17, 3, 0, 0, 0, 2}, 9, odd2);
    ASSERT_EQ(second.size(), 9u);
    EXPECT_EQ(serial(second), 99u);
    // The same request at the module's default settings goes unheard.
    EXPECT_TRUE(ModbusExchange(entry.string(), {203, 3, 0, 0, 0, 2}, 9, ClientLine{}, 1).empty());
    sim.Signal(SIGTERM);
    EXPECT_EQ(sim.WaitExit(std::chrono::seconds(5)), 0);
}

TEST(VeltroSimProgramOptionsTest, RefusesBadOptionsWithoutPublishingAnything)
{
    PortDir dir;
    for (const std::vector<std::string>& args :
         {std::vector<std::string>{"--port-dir", dir.Path(), "--bogus"},
          std::vector<std::string>{"--port-dir", dir.Path(), "--meter-port", "0"},
          std::vector<std::string>{"--port-dir", dir.Path(), "--delay-ms", "x"},
          std::vector<std::string>{"--port-dir", dir.Path(), "--serial"},
          std::vector<std::string>{"--port-dir", dir.Path(), "--module-exception", "3"},
          std::vector<std::string>{"--port-dir", dir.Path(), "--module-port", "1"},
          std::vector<std::string>{"--port-dir", dir.Path(), "--module-address", "248"},
          std::vector<std::string>{"--port-dir", dir.Path(), "--module-settings", "2400 8X1"},
          std::vector<std::string>{"--port-dir", dir.Path(), "--second-module", "17,"}}) {
        Program sim(args);
        ASSERT_TRUE(sim.Started());
        EXPECT_EQ(sim.WaitExit(std::chrono::seconds(5)), 2) << args.back();
    }
    EXPECT_TRUE(fs::is_empty(dir.Path()));
}

}  // namespace
}  // namespace veltro::test
