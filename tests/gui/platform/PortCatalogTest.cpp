// What each COM number stands for, followed while ports come and go: override entries
// pointing at real pseudo-terminals play the adapters.
#include "platform/PortCatalog.h"
#include "platform/PortWatcher.h"
#include "platform/SerialDevice.h"
#include "support/PtyPair.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTest>
#include <gtest/gtest.h>

#include <cerrno>

using namespace veltro::platform;
using veltro::test::PortDir;
using veltro::test::PtyPair;

namespace {
// High enough that no serial device of the machine running the tests takes it.
constexpr int kFree = 190;

bool Listed(const QList<PortDescription>& ports, int number)
{
    return std::any_of(ports.begin(), ports.end(), [&](const PortDescription& p) { return p.number == number; });
}
}  // namespace

TEST(PortCatalog, AMappedNumberNamesItsDeviceAndAnUnmappedOneSaysNoDevice)
{
    PortDir dir;
    PtyPair pty;
    dir.Publish(kFree, pty.SlavePath());
    const QString device = QString::fromStdString(pty.SlavePath());

    const PortDescription mapped = DescribePort(kFree);
    EXPECT_TRUE(mapped.present);
    EXPECT_EQ(mapped.device, device);
    EXPECT_EQ(mapped.Label(), device + QStringLiteral(" — terminale virtuale"));
    const QString line = QStringLiteral("COM%1 — %2 — terminale virtuale").arg(kFree).arg(device);
    const QList<PortDescription> present = ListPresentPorts();
    EXPECT_TRUE(std::any_of(present.begin(), present.end(), [&](const auto& p) { return p.ListLine() == line; }));

    EXPECT_EQ(DescribePort(kFree + 1).Label(), QStringLiteral("Nessun dispositivo"));
    EXPECT_FALSE(Listed(present, kFree + 1));
}

TEST(PortCatalog, TheWatcherSeesAnEntryAddedAndRemoved)
{
    PortDir dir;
    PtyPair pty;
    PortWatcher watcher;
    int changes = 0;
    watcher.SetOnChanged([&] { ++changes; });
    ASSERT_FALSE(Listed(watcher.Ports(), kFree));

    // The watcher may also report once at start, when it has learnt what the system says
    // of the machine's own adapters.
    dir.Publish(kFree, pty.SlavePath());
    ASSERT_TRUE(QTest::qWaitFor([&] { return changes > 0 && Listed(watcher.Ports(), kFree); }, 5000));
    EXPECT_EQ(DescribePort(kFree).device, QString::fromStdString(pty.SlavePath()));

    const int before = changes;
    dir.Unpublish(kFree);
    ASSERT_TRUE(QTest::qWaitFor([&] { return changes > before && !Listed(watcher.Ports(), kFree); }, 5000));
    EXPECT_EQ(DescribePort(kFree).Label(), QStringLiteral("Nessun dispositivo"));
}

// An adapter pulled after it was listed: the description, the watcher and an open all
// give a plain answer. The adapter is a by-id style link to a pty, so its node goes away
// for good: a pty's own number can be taken again at once by another test's pty.
TEST(PortCatalog, ADeviceThatVanishesAfterListingIsReportedAbsent)
{
    PortDir dir;
    PtyPair pty;
    QTemporaryDir byId;
    ASSERT_TRUE(byId.isValid());
    const QString device = byId.filePath(QStringLiteral("usb-adapter"));
    ASSERT_TRUE(QFile::link(QString::fromStdString(pty.SlavePath()), device));
    dir.Publish(kFree, device.toStdString());
    ASSERT_TRUE(Listed(ListPresentPorts(), kFree));
    PortWatcher watcher;
    int changes = 0;
    watcher.SetOnChanged([&] { ++changes; });

    ASSERT_TRUE(QFile::remove(device));  // the adapter pulled: its node goes away

    const PortDescription gone = DescribePort(kFree);
    EXPECT_FALSE(gone.present);
    EXPECT_EQ(gone.Label(), QStringLiteral("Nessun dispositivo (%1 non presente)").arg(device));
    EXPECT_FALSE(Listed(ListPresentPorts(), kFree));
    int error = 0;
    EXPECT_EQ(PosixSerialDevice::Open("COM" + std::to_string(kFree), error), nullptr);
    EXPECT_EQ(error, ENOENT);
    ASSERT_TRUE(QTest::qWaitFor([&] { return changes > 0; }, 5000));
}
