#pragma once
// The exit statuses of veltro, one meaning each, as veltro(1) documents them: a script
// can tell a job that failed from a command it got wrong and from a port it could not
// have.

namespace veltro::cli {

enum ExitStatus : int {
    kDone = 0,
    kJobFailed = 1,        // no reply, a refused password, a mismatch, nothing found
    kWrongUsage = 2,       // an unknown option, a missing or malformed value
    kPortUnavailable = 3,  // the port could not be opened (busy, missing, not allowed), or the
                           // gateway could not be reached (refused, unreachable, no answer)
    kInterrupted = 130,    // ended by Ctrl-C or SIGTERM: 128 + SIGINT, as a shell reports it
};

}  // namespace veltro::cli
