// Telling "no such port" from "the port is there but this user may not open it".
#include "platform/PortNames.h"
#include "support/PtyPair.h"
#include "support/Unprivileged.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <fstream>

using namespace veltro::platform;
using veltro::test::AsUnprivilegedUser;
using veltro::test::PortDir;

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
