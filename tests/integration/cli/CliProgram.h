#pragma once
// The built veltro program run as a user runs it: a child process with its own stdout and
// stderr, the test's environment (VELTRO_PORT_DIR included) plus the variables given, its
// exit status, and signals sent to it while it runs.

#include "support/WaitUntil.h"

#include <QByteArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <functional>
#include <sstream>
#include <string>
#include <vector>

extern char** environ;

namespace veltro::test {

struct CliResult {
    int status = -1;  // the exit status; -1 when it did not end in time or ended by a signal
    std::string out, err;

    std::vector<std::string> OutLines() const
    {
        std::vector<std::string> lines;
        std::istringstream in(out);
        for (std::string line; std::getline(in, line);)
            lines.push_back(line);
        return lines;
    }
    // Each line of stdout as a JSON object; an empty object for a line that is not one.
    std::vector<QJsonObject> JsonLines() const
    {
        std::vector<QJsonObject> objects;
        for (const std::string& line : OutLines())
            objects.push_back(QJsonDocument::fromJson(QByteArray::fromStdString(line)).object());
        return objects;
    }
};

class CliProgram {
public:
    // env: "NAME=value" entries that replace or add to the test's own environment.
    explicit CliProgram(std::vector<std::string> args, const std::vector<std::string>& env = {})
    {
        args.insert(args.begin(), VELTRO_CLI_PROGRAM);
        std::vector<char*> argv;
        for (std::string& a : args)
            argv.push_back(a.data());
        argv.push_back(nullptr);
        for (char** e = environ; *e; ++e) {
            const std::string entry = *e;
            bool replaced = false;
            for (const std::string& given : env)
                replaced |= entry.substr(0, entry.find('=') + 1) == given.substr(0, given.find('=') + 1);
            if (!replaced)
                env_.push_back(entry);
        }
        env_.insert(env_.end(), env.begin(), env.end());
        std::vector<char*> envp;
        for (std::string& e : env_)
            envp.push_back(e.data());
        envp.push_back(nullptr);

        int out[2], err[2];
        if (::pipe2(out, O_CLOEXEC) != 0 || ::pipe2(err, O_CLOEXEC) != 0)
            return;
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, out[1], 1);
        posix_spawn_file_actions_adddup2(&actions, err[1], 2);
        posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
        if (posix_spawn(&pid_, argv[0], &actions, nullptr, argv.data(), envp.data()) != 0)
            pid_ = -1;
        posix_spawn_file_actions_destroy(&actions);
        ::close(out[1]);
        ::close(err[1]);
        fds_[0] = out[0];
        fds_[1] = err[0];
    }
    ~CliProgram()
    {
        if (pid_ > 0 && !ended_) {
            ::kill(pid_, SIGKILL);
            ::waitpid(pid_, nullptr, 0);
        }
        for (const int fd : fds_)
            if (fd >= 0)
                ::close(fd);
    }
    CliProgram(const CliProgram&) = delete;
    CliProgram& operator=(const CliProgram&) = delete;

    bool Started() const { return pid_ > 0; }
    void Signal(int signal) const { ::kill(pid_, signal); }

    // Reads what the program writes until condition holds; false when the deadline came first.
    bool WaitFor(const std::function<bool(const CliResult&)>& condition, std::chrono::milliseconds timeout)
    {
        const auto deadline = std::chrono::steady_clock::now() + timeout;
        while (!condition(result_)) {
            if (std::chrono::steady_clock::now() >= deadline)
                return false;
            Pump(10);
        }
        return true;
    }
    // Until the program has ended and closed its output, or the deadline.
    CliResult Wait(std::chrono::milliseconds timeout = std::chrono::seconds(30))
    {
        const auto deadline = std::chrono::steady_clock::now() + timeout;
        while ((fds_[0] >= 0 || fds_[1] >= 0) && std::chrono::steady_clock::now() < deadline)
            Pump(20);
        int status = 0;
        if (!ended_)
            ended_ = WaitUntil([&] { return ::waitpid(pid_, &status, WNOHANG) == pid_; },
                               std::chrono::duration_cast<std::chrono::milliseconds>(
                                   std::max(deadline - std::chrono::steady_clock::now(), std::chrono::steady_clock::duration{})));
        result_.status = ended_ && WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        return result_;
    }

private:
    void Pump(int timeoutMs)
    {
        struct pollfd p[2] = {{fds_[0], POLLIN, 0}, {fds_[1], POLLIN, 0}};
        if (::poll(p, 2, timeoutMs) <= 0)
            return;
        for (int i = 0; i < 2; ++i) {
            if (fds_[i] < 0 || !(p[i].revents & (POLLIN | POLLHUP)))
                continue;
            char buffer[4096];
            const ssize_t n = ::read(fds_[i], buffer, sizeof buffer);
            if (n > 0) {
                (i == 0 ? result_.out : result_.err).append(buffer, static_cast<size_t>(n));
            } else {
                ::close(fds_[i]);
                fds_[i] = -1;
            }
        }
    }

    pid_t pid_ = -1;
    bool ended_ = false;
    int fds_[2] = {-1, -1};
    std::vector<std::string> env_;
    CliResult result_;
};

// Runs the program to its end.
inline CliResult RunCli(const std::vector<std::string>& args, const std::vector<std::string>& env = {})
{
    CliProgram program(args, env);
    return program.Wait();
}

}  // namespace veltro::test
