#pragma once
// Ctrl-C (SIGINT) and SIGTERM end a job cleanly, as "Annulla" and "Arresta" do in the
// window: a read or write run takes no further step but still signs off from the meter,
// a search ends after the candidate out, polling stops, and every port is closed before
// the program exits with kInterrupted. A second signal ends the program at once.
//
// The signals are blocked in every thread and taken by one thread of their own with
// sigwait, so no system call of the serial code is ever cut short by them (a poll() that
// returned EINTR would otherwise look like a line in trouble). That thread runs the
// handler of the job in progress, which must therefore be safe to call from any thread
// and quick (it runs under a lock the job's end waits for): set a flag, post a call.

#include <functional>

namespace veltro::cli {

// First thing in main, before any thread is started: every thread inherits the mask.
// Also ignores SIGPIPE, so a closed pipe on stdout is a failed write, not a killed process.
void InstallInterrupts();

// True once a signal came.
bool Interrupted();

// While it lives, a signal calls handler (at once, when one came already).
class OnInterrupt {
public:
    explicit OnInterrupt(std::function<void()> handler);
    ~OnInterrupt();
    OnInterrupt(const OnInterrupt&) = delete;
    OnInterrupt& operator=(const OnInterrupt&) = delete;
};

}  // namespace veltro::cli
