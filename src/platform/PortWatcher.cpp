#include "platform/PortWatcher.h"

#include "platform/PortMap.h"

#include <QDir>
#include <QFileInfo>
#include <QSet>

#include <algorithm>

namespace veltro::platform {

namespace {
constexpr int kSettleMs = 250;
// Unrelated churn in a watched folder (every new terminal adds to /dev/pts) must not
// turn into a busy loop: at most one look per second.
constexpr qint64 kMinGapMs = 1000;
constexpr int kFollowUpMs = 1500;
// A window paints itself within a few tens of milliseconds of its start.
constexpr int kStartDelayMs = 200;
}

PortWatcher::PortWatcher(QObject* parent) : QObject(parent)
{
    settle_.setSingleShot(true);
    connect(&settle_, &QTimer::timeout, this, [this] { Check(); });
    followUp_.setSingleShot(true);
    followUp_.setInterval(kFollowUpMs);
    connect(&followUp_, &QTimer::timeout, this, [this] { Check(); });
    // Coalesce: a burst of changes starts one look, later events in it do not delay it.
    const auto changed = [this] {
        if (!settle_.isActive())
            settle_.start(static_cast<int>(std::max<qint64>(kSettleMs, kMinGapMs - lastCheck_.elapsed())));
    };
    connect(&watcher_, &QFileSystemWatcher::directoryChanged, this, changed);
    // Nothing of this is needed for the window's first paint (the port labels draw what is
    // known without it): it starts once the window is up, and reports once then, since
    // what it will compare with from there on may already differ from what was drawn.
    QTimer::singleShot(kStartDelayMs, this, [this] {
        ports_ = DescribeMappedPorts(AdapterDetail::KnownOnly);
        lastCheck_.start();
        Rewatch();
        if (onChanged_)
            onChanged_();
        firstDetails_ = std::thread([this] {
            LoadAdapterDetails();
            QMetaObject::invokeMethod(this, [this] { Look(); }, Qt::QueuedConnection);
        });
    });
}

PortWatcher::~PortWatcher()
{
    // The call it queued is dropped with this object.
    if (firstDetails_.joinable())
        firstDetails_.join();
}

// The directories whose changes can change the mapping: /dev for new tty nodes,
// /dev/serial/by-id and by-path for adapter identities, the folder of the kept map
// (another of our programs may renumber), the override directory for COMn entries, and
// the directory of every device an entry points at (a pty under /dev/pts, a by-id link).
void PortWatcher::Rewatch()
{
    QSet<QString> wanted = {QStringLiteral("/dev"), QStringLiteral("/dev/serial/by-id"),
                            QStringLiteral("/dev/serial/by-path"),
                            QFileInfo(QString::fromStdString(PortMapFile::DefaultPath())).absolutePath()};
    const QString override = qEnvironmentVariable("VELTRO_PORT_DIR");
    if (!override.isEmpty())
        wanted.insert(QDir::cleanPath(override));
    for (const PortDescription& port : ports_) {
        if (port.device.isEmpty())
            continue;
        wanted.insert(QFileInfo(port.device).absolutePath());
        if (port.present)
            wanted.insert(QFileInfo(QFileInfo(port.device).canonicalFilePath()).absolutePath());
    }
    QStringList add;
    for (const QString& dir : wanted)
        if (QFileInfo(dir).isDir())
            add << dir;
    QStringList remove;
    for (const QString& dir : watcher_.directories())
        if (!wanted.contains(dir))
            remove << dir;
    if (!remove.isEmpty())
        watcher_.removePaths(remove);
    const QStringList watched = watcher_.directories();
    add.removeIf([&](const QString& dir) { return watched.contains(dir); });
    if (!add.isEmpty())
        watcher_.addPaths(add);
}

void PortWatcher::Check()
{
    ForgetAdapterDetails();  // the system may know more (or less) of the adapters now
    Look();
}

void PortWatcher::Look()
{
    lastCheck_.start();
    settle_.stop();  // this look covers whatever it was waiting for
    QList<PortDescription> now = DescribeMappedPorts();
    const bool changed = now != ports_;
    ports_ = std::move(now);
    Rewatch();
    if (!changed)
        return;
    followUp_.start();
    if (onChanged_)
        onChanged_();
}

}  // namespace veltro::platform
