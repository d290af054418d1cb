#include "cli/Interrupts.h"

#include "cli/ExitStatus.h"

#include <pthread.h>
#include <signal.h>
#include <unistd.h>

#include <atomic>
#include <mutex>
#include <thread>

namespace veltro::cli {

namespace {

struct Watched {
    std::mutex mutex;
    std::function<void()> handler;
};
// Never destroyed: a signal may still come while the program's statics are torn down.
Watched& State()
{
    static Watched* const state = new Watched;
    return *state;
}
std::atomic<bool> interrupted{false};

sigset_t Signals()
{
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, SIGINT);
    sigaddset(&set, SIGTERM);
    return set;
}

void Watch()
{
    const sigset_t set = Signals();
    for (;;) {
        int signal = 0;
        if (sigwait(&set, &signal) != 0)
            continue;
        if (interrupted.exchange(true))
            ::_exit(kInterrupted);  // the user insists: no more waiting for a clean end
        // Under the lock, so a job that drops its handler waits until it has run and
        // never leaves it holding what the job has destroyed.
        const std::lock_guard lock(State().mutex);
        if (State().handler)
            State().handler();
    }
}

}  // namespace

void InstallInterrupts()
{
    const sigset_t set = Signals();
    pthread_sigmask(SIG_BLOCK, &set, nullptr);
    State();
    ::signal(SIGPIPE, SIG_IGN);
    // Lives until the process ends.
    std::thread(Watch).detach();
}

bool Interrupted()
{
    return interrupted;
}

OnInterrupt::OnInterrupt(std::function<void()> fn)
{
    {
        const std::lock_guard lock(State().mutex);
        State().handler = fn;
    }
    if (interrupted)
        fn();
}

OnInterrupt::~OnInterrupt()
{
    const std::lock_guard lock(State().mutex);
    State().handler = nullptr;
}

}  // namespace veltro::cli
