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
    ports_ = DescribeMappedPorts(AdapterDetail::KnownOnly);
    lastCheck_.start();
    Rewatch();
    firstDetails_ = std::thread([this] {
        LoadAdapterDetails();
        QMetaObject::invokeMethod(this, [this] { Look(); }, Qt::QueuedConnection);
    });
}

PortWatcher::~PortWatcher()
{
    // The call it queued is dropped with this object.
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
