#include "app/LostPort.h"

#include "link/LinkSerial.h"
#include "modbus/ModbusConnection.h"

#include <system_error>

namespace veltro::app {

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
    // Closed at once: a USB adapter plugged in again while its old device is still open
    // would come back under another device name, and so under another COM number.
    connection.SetActive(false);
    lost_ = true;
    return LostDeviceText(connection.Port(), error)
           + QStringLiteral(": porta chiusa, verrà riaperta appena il dispositivo torna disponibile");
}

std::optional<QString> LostPort::TryReopen(modbus::TModbusConnection& connection)
{
    try {
        connection.SetActive(true);
    } catch (const std::exception&) {
        return std::nullopt;  // still missing: the next tick tries again
    }
    lost_ = false;
    return QStringLiteral("Porta %1 di nuovo disponibile: interrogazione ripresa")
        .arg(QString::fromStdString(connection.Port()));
}

}  // namespace veltro::app
