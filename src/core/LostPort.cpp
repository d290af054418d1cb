#include "core/LostPort.h"

#include "link/LinkSerial.h"
#include "modbus/ModbusConnection.h"
#include "platform/PortNames.h"
#include "platform/SerialDevice.h"

#include <system_error>

namespace veltro::core {

QString LostDeviceText(const std::string& port, int error)
{
    QString text = QStringLiteral("Porta %1: dispositivo seriale scollegato o non più raggiungibile")
                       .arg(QString::fromStdString(port));
    if (error != 0)
        text += QStringLiteral(" (errore di sistema %1: %2)")
                    .arg(error)
                    .arg(QString::fromStdString(std::system_category().message(error)));
    return text;
}

std::optional<QString> LostLinkText(link::TLinkSerial& link)
{
    if (!link.Comm || !link.Comm->LineLost())
        return std::nullopt;
    return LostDeviceText("COM" + std::to_string(link.PortNumber), link.Comm->Device()->LastError());
}

std::optional<QString> LostPort::AfterNoReply(modbus::TModbusConnection& connection)
{
    if (lost_ || !connection.Active() || !connection.Line().LineLost())
        return std::nullopt;
    const int error = connection.Line().LastError();
    // The adapter as it was opened: by now a VELTRO_PORT_DIR entry may be gone with it.
    const platform::ISerialDevice* device = connection.Line().Device();
    adapter_ = device ? device->Identity() : std::string();
    if (adapter_.empty())
        adapter_ = platform::ResolvePort(connection.Port()).identity;
    // Closed at once: a USB adapter plugged in again while its old device is still open
    // gets another ttyUSB node, which its kept COM number then has to follow.
    connection.SetActive(false);
    lost_ = true;
    return LostDeviceText(connection.Port(), error)
           + QStringLiteral(": porta chiusa, verrà riaperta appena il dispositivo torna disponibile");
}

std::optional<QString> LostPort::TryReopen(modbus::TModbusConnection& connection)
{
    // A port someone else opened and hands over is theirs to follow.
    if (!connection.HookExistingPort()) {
        const platform::ResolvedPort now = platform::ResolvePort(connection.Port());
        if (now.device.empty() || (!adapter_.empty() && now.identity != adapter_))
            return std::nullopt;  // not back yet, or another adapter: keep waiting
    }
    try {
        connection.SetActive(true);
    } catch (const std::exception&) {
        return std::nullopt;  // still missing: the next tick tries again
    }
    Forget();
    return QStringLiteral("Porta %1 di nuovo disponibile: interrogazione ripresa")
        .arg(QString::fromStdString(connection.Port()));
}

}  // namespace veltro::core
