#include "platform/PortCatalog.h"

#include "platform/PortNames.h"

#include <QHash>
#include <QSerialPortInfo>
#include <QStringList>

#include <cstring>
#include <filesystem>
#include <mutex>
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

bool StartsWith(const std::string& text, const char* prefix)
{
    return text.rfind(prefix, 0) == 0;
}

// Maker, product, USB identifiers and serial number, as far as the system knows them.
QString Known(const QSerialPortInfo& port)
{
    QStringList name;
    QStringList details;
    const QString maker = port.manufacturer().trimmed();
    const QString product = port.description().trimmed();
    if (!maker.isEmpty() && !product.contains(maker, Qt::CaseInsensitive))
        name << maker;
    if (!product.isEmpty())
        name << product;
    if (port.hasVendorIdentifier() && port.hasProductIdentifier())
        details << QStringLiteral("USB %1:%2")
                       .arg(port.vendorIdentifier(), 4, 16, QLatin1Char('0'))
                       .arg(port.productIdentifier(), 4, 16, QLatin1Char('0'));
    if (!port.serialNumber().trimmed().isEmpty())
        details << QStringLiteral("n. di serie %1").arg(port.serialNumber().trimmed());
    QString text = name.join(QLatin1Char(' '));
    if (!details.isEmpty())
        text += (text.isEmpty() ? QString() : QStringLiteral(" ")) + QLatin1Char('(') +
                details.join(QStringLiteral(", ")) + QLatin1Char(')');
    return text;
}

// What the system knows of the adapters, by device path, shared by every description.
// Never asked for a pseudo-terminal or a device that is not there.
class AdapterDetails {
public:
    QString Of(const QString& real, AdapterDetail detail)
    {
        std::unique_lock lock(mutex_);
        if (!loaded_ && detail == AdapterDetail::Ask) {
            lock.unlock();
            Load();
            lock.lock();
        }
        return known_.value(real);
    }
    void Load()
    {
        QHash<QString, QString> known;
        for (const QSerialPortInfo& port : QSerialPortInfo::availablePorts())
            known.insert(Canonical(port.systemLocation()), Known(port));
        const std::lock_guard lock(mutex_);
        known_ = std::move(known);
        loaded_ = true;
    }
    void Forget()
    {
        const std::lock_guard lock(mutex_);
        loaded_ = false;
        known_.clear();
    }

private:
    std::mutex mutex_;
    bool loaded_ = false;
    QHash<QString, QString> known_;
};

AdapterDetails& Details()
{
    static AdapterDetails details;
    return details;
}

QString Describe(const QString& device, const std::string& identity, AdapterDetail detail)
{
    const QString real = Canonical(device);
    if (real.startsWith(QStringLiteral("/dev/pts/")))
        return QStringLiteral("terminale virtuale");
    if (const QString known = Details().Of(real, detail); !known.isEmpty())
        return known;
    if (StartsWith(identity, kIdentityById) || StartsWith(identity, kIdentityByPath))
        return AdapterName(identity);
    // A VELTRO_PORT_DIR entry that names the adapter by its by-id link.
    if (device.startsWith(QStringLiteral("/dev/serial/by-id/")))
        return device.mid(device.lastIndexOf(QLatin1Char('/')) + 1);
    if (real.startsWith(QStringLiteral("/dev/ttyS")))
        return QStringLiteral("porta seriale integrata");
    return QStringLiteral("dispositivo seriale");
}

PortDescription Describe(const PortEntry& entry, AdapterDetail detail)
{
    PortDescription d;
    d.number = entry.number;
    d.kept = !entry.fromPortDir;
    if (!entry.fromPortDir && entry.device.empty()) {
        d.detached = true;
        d.device = QString::fromStdString(entry.lastDevice);
        d.what = AdapterName(entry.identity);
        return d;
    }
    d.device = QString::fromStdString(entry.device);
    std::error_code ec;
    d.present = fs::exists(fs::path(entry.device), ec) && !ec;
    d.what = d.present ? Describe(d.device, entry.identity, detail) : QStringLiteral("non presente");
    return d;
}

}  // namespace

QString NoDeviceText()
{
    return QStringLiteral("Nessun dispositivo");
}

QString DetachedText()
{
    return QStringLiteral("scollegato");
}

QString AdapterName(const std::string& identity)
{
    const auto rest = [&](const char* prefix) { return QString::fromStdString(identity.substr(std::strlen(prefix))); };
    if (StartsWith(identity, kIdentityById))
        return rest(kIdentityById);
    if (StartsWith(identity, kIdentityByPath))
        return QStringLiteral("adattatore senza numero di serie nella presa USB %1").arg(rest(kIdentityByPath));
    if (StartsWith(identity, kIdentityUart))
        return QStringLiteral("porta seriale integrata %1").arg(rest(kIdentityUart));
    if (StartsWith(identity, kIdentityDevice))
        return QStringLiteral("dispositivo %1").arg(rest(kIdentityDevice));
    return QString::fromStdString(identity);
}

QString PortDescription::Label() const
{
    if (detached)
        return DetachedText() + kDash + what +
               (device.isEmpty() ? QString() : QStringLiteral(" (ultimo dispositivo %1)").arg(device));
    if (device.isEmpty())
        return NoDeviceText();
    if (!present)
        return QStringLiteral("%1 (%2 non presente)").arg(NoDeviceText(), device);
    return device + kDash + what;
}

QString PortDescription::ListLine() const
{
    const QString port = QStringLiteral("COM%1").arg(number);
    if (detached)
        return port + kDash + Label();
    if (device.isEmpty())
        return port + kDash + NoDeviceText();
    return port + kDash + device + kDash + what;
}

PortDescription DescribePort(int number, AdapterDetail detail)
{
    if (number > 0)
        for (const PortEntry& entry : ListPorts())
            if (entry.number == number)
                return Describe(entry, detail);
    PortDescription none;
    none.number = number;
    return none;
}

QList<PortDescription> DescribeMappedPorts(AdapterDetail detail)
{
    QList<PortDescription> out;
    for (const PortEntry& entry : ListPorts())
        out << Describe(entry, detail);
    return out;
}

QList<PortDescription> ListPresentPorts()
{
    QList<PortDescription> out = DescribeMappedPorts();
    out.removeIf([](const PortDescription& d) { return !d.present; });
    return out;
}

void LoadAdapterDetails()
{
    Details().Load();
}

void ForgetAdapterDetails()
{
    Details().Forget();
}

}  // namespace veltro::platform
