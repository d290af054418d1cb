#include "platform/PortCatalog.h"

#include "platform/PortNames.h"

#include <QHash>
#include <QSerialPortInfo>
#include <QStringList>

#include <filesystem>
#include <system_error>

namespace veltro::platform {

namespace fs = std::filesystem;

namespace {

const QString kDash = QStringLiteral(" \u2014 ");

// The path with every symlink followed, or the path itself when it cannot be followed
// (the node may vanish at any moment: a pulled adapter, a closed pty).
QString Canonical(const QString& path)
{
    std::error_code ec;
    const fs::path canonical = fs::canonical(fs::path(path.toStdString()), ec);
    return ec ? path : QString::fromStdString(canonical.string());
}

// udev names every USB serial adapter under /dev/serial/by-id after its maker, product
// and serial number; those names survive a change of ttyUSB number between plug-ins.
QHash<QString, QString> ByIdNames()
{
    QHash<QString, QString> names;
    std::error_code ec;
    for (const auto& entry : fs::directory_iterator("/dev/serial/by-id", ec)) {
        const QString target = Canonical(QString::fromStdString(entry.path().string()));
        names.insert(target, QString::fromStdString(entry.path().filename().string()));
    }
    return names;
}

// What the system knows of the adapters, by device path. Asking it means walking every
// tty in sysfs (hundreds of nodes on a desktop, a few milliseconds each time), so it is
// asked only for a device it may know something about: never for a pseudo-terminal or a
// device that is not there.
class Adapters {
public:
    QString Describe(const QString& device) const
    {
        const QString real = Canonical(device);
        if (real.startsWith(QStringLiteral("/dev/pts/")))
            return QStringLiteral("terminale virtuale");
        Load();
        const QString known = Known(real);
        if (!known.isEmpty())
            return known;
        if (auto it = byId_.constFind(real); it != byId_.constEnd())
            return *it;
        if (real.startsWith(QStringLiteral("/dev/ttyS")))
            return QStringLiteral("porta seriale integrata");
        return QStringLiteral("dispositivo seriale");
    }

    PortDescription Port(int number, const std::string& device) const
    {
        PortDescription d;
        d.number = number;
        d.device = QString::fromStdString(device);
        if (d.device.isEmpty())
            return d;
        std::error_code ec;
        d.present = fs::exists(fs::path(device), ec) && !ec;
        d.what = d.present ? Describe(d.device) : QStringLiteral("non presente");
        return d;
    }

private:
    void Load() const
    {
        if (loaded_)
            return;
        for (const QSerialPortInfo& port : QSerialPortInfo::availablePorts())
            info_.insert(Canonical(port.systemLocation()), port);
        byId_ = ByIdNames();
        loaded_ = true;
    }

    // Maker, product, USB identifiers and serial number, as far as the system knows them.
    QString Known(const QString& real) const
    {
        auto it = info_.constFind(real);
        if (it == info_.constEnd())
            return {};
        QStringList name;
        QStringList details;
        const QString maker = it->manufacturer().trimmed();
        const QString product = it->description().trimmed();
        if (!maker.isEmpty() && !product.contains(maker, Qt::CaseInsensitive))
            name << maker;
        if (!product.isEmpty())
            name << product;
        if (it->hasVendorIdentifier() && it->hasProductIdentifier())
            details << QStringLiteral("USB %1:%2")
                           .arg(it->vendorIdentifier(), 4, 16, QLatin1Char('0'))
                           .arg(it->productIdentifier(), 4, 16, QLatin1Char('0'));
        if (!it->serialNumber().trimmed().isEmpty())
            details << QStringLiteral("n. di serie %1").arg(it->serialNumber().trimmed());
        QString text = name.join(QLatin1Char(' '));
        if (!details.isEmpty())
            text += (text.isEmpty() ? QString() : QStringLiteral(" ")) + QLatin1Char('(') +
                    details.join(QStringLiteral(", ")) + QLatin1Char(')');
        return text;
    }

    mutable bool loaded_ = false;
    mutable QHash<QString, QSerialPortInfo> info_;
    mutable QHash<QString, QString> byId_;
};

}  // namespace

QString NoDeviceText()
{
    return QStringLiteral("Nessun dispositivo");
}

QString PortDescription::Label() const
{
    if (device.isEmpty())
        return NoDeviceText();
    if (!present)
        return QStringLiteral("%1 (%2 non presente)").arg(NoDeviceText(), device);
    return device + kDash + what;
}

QString PortDescription::ListLine() const
{
    const QString port = QStringLiteral("COM%1").arg(number);
    if (device.isEmpty())
        return port + kDash + NoDeviceText();
    return port + kDash + device + kDash + what;
}

PortDescription DescribePort(int number)
{
    if (number <= 0)
        return PortDescription{number, {}, false, {}};
    return Adapters().Port(number, ResolvePortName("COM" + std::to_string(number)));
}

QList<PortDescription> DescribeMappedPorts()
{
    const Adapters adapters;
    QList<PortDescription> out;
    for (const PortEntry& entry : ListPorts())
        out << adapters.Port(entry.number, entry.device);
    return out;
}

QList<PortDescription> ListPresentPorts()
{
    QList<PortDescription> out = DescribeMappedPorts();
    out.removeIf([](const PortDescription& d) { return !d.present; });
    return out;
}

}  // namespace veltro::platform
