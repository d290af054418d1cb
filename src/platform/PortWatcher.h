#pragma once
// Follows the serial devices while the program runs: an adapter plugged in or pulled
// out, a COMn entry added to or removed from the VELTRO_PORT_DIR directory, a device an
// entry points at that comes or goes. It watches the directories where those appear
// (inotify through QFileSystemWatcher), so it costs nothing while nothing changes.

#include "platform/PortCatalog.h"

#include <QFileSystemWatcher>
#include <QElapsedTimer>
#include <QObject>
#include <QTimer>

#include <functional>
#include <thread>

namespace veltro::platform {

class PortWatcher : public QObject {
public:
    // Starts watching a moment after construction, once the window has painted, and
    // reports once then. The first look names the adapters by what is already known;
    // what the system says of them is asked on a worker thread, so no paint waits for
    // it, and a change it brings is raised like any other.
    explicit PortWatcher(QObject* parent = nullptr);
    ~PortWatcher() override;

    // Raised on the owning thread once the mapping of COM numbers to devices, or what
    // is known of a device, has changed.
    void SetOnChanged(std::function<void()> handler) { onChanged_ = std::move(handler); }
    // The mapped ports as last seen.
    const QList<PortDescription>& Ports() const { return ports_; }
    // The directories being watched (for diagnostics and tests).
    QStringList WatchedDirectories() const { return watcher_.directories(); }

private:
    void Rewatch();
    // A look after something changed: what the system knows of the adapters is asked again.
    void Check();
    void Look();

    QFileSystemWatcher watcher_;
    // udev creates a node, then its by-id link, then fixes its permissions: one look
    // after the burst has settled instead of one per step.
    QTimer settle_;
    // udev writes what it knows of an adapter (its names, its by-id link) a moment after
    // the node appears: after each change, one more look once that has had time.
    QTimer followUp_;
    QElapsedTimer lastCheck_;
    QList<PortDescription> ports_;
    std::function<void()> onChanged_;
    std::thread firstDetails_;
};

}  // namespace veltro::platform
