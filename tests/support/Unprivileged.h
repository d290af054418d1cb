#pragma once
// Tests run as root, who may open and write anything: a check that needs a permission
// refused runs in a child process as the unprivileged user "nobody".

#include <sys/wait.h>
#include <unistd.h>

#include <functional>

namespace veltro::test {

// Runs check as nobody when the test runs as root (as itself otherwise); returns what
// check returned.
inline bool AsUnprivilegedUser(const std::function<bool()>& check)
{
    if (::geteuid() != 0)
        return check();
    const pid_t child = ::fork();
    if (child == 0) {
        if (::setgid(65534) != 0 || ::setuid(65534) != 0)
            ::_exit(2);
        ::_exit(check() ? 1 : 0);
    }
    int status = 0;
    ::waitpid(child, &status, 0);
    return WIFEXITED(status) && WEXITSTATUS(status) == 1;
}

}  // namespace veltro::test
