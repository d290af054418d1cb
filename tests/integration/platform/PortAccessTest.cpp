// Telling "no such port" from "the port is there but this user may not open it".
#include "platform/PortNames.h"
#include "support/PtyPair.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fstream>

using namespace veltro::platform;
using veltro::test::PortDir;

namespace {
// Runs check as an unprivileged user (nobody) when the test runs as root, since root
// may open anything; returns what check returned.
bool AsUnprivilegedUser(const std::function<bool()>& check)
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
}  // namespace

TEST(PortAccess, APortOnlyItsOwnerMayOpenIsReportedAsDenied)
{
    PortDir dir;
    ::chmod(dir.Path().c_str(), 0755);  // the directory itself may be read by anyone
    const std::string device = dir.Path() + "/device";
    std::ofstream(device).put('x');
    ::chmod(device.c_str(), 0000);
    dir.Publish(5, device);

    EXPECT_TRUE(AsUnprivilegedUser([] { return PortAccessDenied("COM5"); }));
    EXPECT_FALSE(PortAccessDenied("COM6"));  // nothing stands for it: not a permission matter

    veltro::test::PtyPair pty;  // a pty slave is open to its owner
    dir.Publish(6, pty.SlavePath());
    EXPECT_FALSE(PortAccessDenied("COM6"));
}
