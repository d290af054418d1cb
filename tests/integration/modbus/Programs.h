#pragma once
// Other people's programs as peers (mbpoll, socat): started with their output kept in a
// file, waited for while the test thread keeps serving its dispatcher.

#include "platform/ManualUiDispatcher.h"

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <fstream>
#include <spawn.h>
#include <sstream>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

extern char** environ;

namespace veltro::modbus::test {

class Program {
public:
    explicit Program(std::vector<std::string> Args)
    {
        std::vector<char*> Argv;
        for (auto& A : Args)
            Argv.push_back(A.data());
        Argv.push_back(nullptr);
        char Path[] = "/tmp/veltro-program-XXXXXX";
        const int Out = ::mkstemp(Path);
        FOutPath = Path;
        posix_spawn_file_actions_t Actions;
        posix_spawn_file_actions_init(&Actions);
        posix_spawn_file_actions_adddup2(&Actions, Out, 1);
        posix_spawn_file_actions_adddup2(&Actions, Out, 2);
        FStarted = posix_spawnp(&FPid, Argv[0], &Actions, nullptr, Argv.data(), environ) == 0;
        posix_spawn_file_actions_destroy(&Actions);
        ::close(Out);
    }
    ~Program()
    {
        if (FStarted && !FEnded) {
            ::kill(FPid, SIGTERM);
            ::waitpid(FPid, nullptr, 0);
        }
        ::unlink(FOutPath.c_str());
    }
    Program(const Program&) = delete;
    Program& operator=(const Program&) = delete;

    bool Started() const { return FStarted; }
    // Waits for the end, pumping the dispatcher; true when it ended with status 0.
    bool Succeeded(platform::ManualUiDispatcher& Ui, std::chrono::milliseconds Timeout = std::chrono::seconds(15))
    {
        int Status = 0;
        FEnded = FStarted && Ui.PumpUntil([&] { return ::waitpid(FPid, &Status, WNOHANG) == FPid; }, Timeout);
        return FEnded && WIFEXITED(Status) && WEXITSTATUS(Status) == 0;
    }
    std::string Output() const
    {
        std::ifstream In(FOutPath);
        std::stringstream Text;
        Text << In.rdbuf();
        return Text.str();
    }

private:
    pid_t FPid = -1;
    bool FStarted = false;
    bool FEnded = false;
    std::string FOutPath;
};

} // namespace veltro::modbus::test
