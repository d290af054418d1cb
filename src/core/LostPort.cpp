#include "core/LostPort.h"

#include "core/PortHelp.h"

#include "link/LinkSerial.h"
#include "modbus/ModbusConnection.h"
#include "platform/PortNames.h"
#include "platform/SerialDevice.h"
#include "platform/TcpSocket.h"

#include <algorithm>
#include <cerrno>
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

QString LostGatewayText(const std::string& gateway, int error)
{
    QString what;
    switch (error) {
    case ECONNREFUSED: what = QStringLiteral("connessione rifiutata"); break;
    case ETIMEDOUT: what = QStringLiteral("il gateway non risponde"); break;
    case EHOSTUNREACH:
    case ENETUNREACH:
    case EHOSTDOWN:
    case ENETDOWN: what = QStringLiteral("indirizzo non raggiungibile"); break;
    default: what = QStringLiteral("connessione chiusa dal gateway"); break;
    }
    QString text = QStringLiteral("Gateway %1: %2").arg(QString::fromStdString(gateway), what);
    if (error != 0)
        text += QStringLiteral(" (errore di sistema %1: %2)")
                    .arg(error)
                    .arg(QString::fromStdString(std::system_category().message(error)));
    return text;
}

QString LinkOpenFailureText(const ModuleLink& link, const std::string& port, int error)
{
    return link.Tcp() ? LostGatewayText(link.Gateway, error) : PortOpenFailureText(port, error);
}

bool GatewayReached(modbus::TModbusConnection& connection)
{
    const auto* device = dynamic_cast<const platform::TcpSocketDevice*>(connection.Line().Device());
    return device && device->Reached();
}

std::optional<QString> LostPort::AfterNoReply(modbus::TModbusConnection& connection)
{
    if (state_ == State::Lost || !connection.Active() || !connection.Line().LineLost())
        return std::nullopt;
    const int error = connection.Line().LastError();
    const bool tcp = connection.Link() != modbus::ltSerial;
    const bool again = state_ == State::Confirming;
    if (!tcp) {
        // The adapter as it was opened: by now a VELTRO_PORT_DIR entry may be gone with it.
        const platform::ISerialDevice* device = connection.Line().Device();
        adapter_ = device ? device->Identity() : std::string();
        if (adapter_.empty())
            adapter_ = platform::ResolvePort(connection.Port()).identity;
    }
    // Closed at once: a USB adapter plugged in again while its old device is still open
    // gets another ttyUSB node, which its kept COM number then has to follow; a TCP
    // connection that failed is of no more use.
    connection.SetActive(false);
    state_ = State::Lost;
    if (tcp) {
        failures_ = again ? failures_ + 1 : 0;
        // 0.1 s, 0.2 s, 0.4 s, ... up to the longest pause.
        const auto pause = std::min<std::chrono::milliseconds>(std::chrono::milliseconds(100L << std::min(failures_, 6)),
                                                                MaxRetryInterval);
        nextAttempt_ = Clock::now() + pause;
        // A gateway that failed again before it answered has been reported already.
        if (again)
            return std::nullopt;
        return LostGatewayText(connection.Gateway(), error)
               + QStringLiteral(": nuovi tentativi di connessione a intervalli crescenti");
    }
    return LostDeviceText(connection.Port(), error)
           + QStringLiteral(": porta chiusa, verrà riaperta appena il dispositivo torna disponibile");
}

bool LostPort::TryReopen(modbus::TModbusConnection& connection, std::optional<QString>& back)
{
    back.reset();
    if (state_ != State::Lost)
        return true;
    const bool tcp = connection.Link() != modbus::ltSerial;
    if (tcp && Clock::now() < nextAttempt_)
        return false;
    // A port someone else opened and hands over is theirs to follow.
    if (!tcp && !connection.HookExistingPort()) {
        const platform::ResolvedPort now = platform::ResolvePort(connection.Port());
        if (now.device.empty() || (!adapter_.empty() && now.identity != adapter_))
            return false;  // not back yet, or another adapter: keep waiting
    }
    try {
        connection.SetActive(true);
    } catch (const std::exception&) {
        return false;  // still missing: the next tick tries again
    }
    if (tcp) {
        state_ = State::Confirming;
        return true;
    }
    Forget();
    back = QStringLiteral("Porta %1 di nuovo disponibile: interrogazione ripresa")
               .arg(QString::fromStdString(connection.Port()));
    return true;
}

std::optional<QString> LostPort::AfterReply(const modbus::TModbusConnection& connection)
{
    if (state_ != State::Confirming)
        return std::nullopt;
    Forget();
    return QStringLiteral("Gateway %1 di nuovo raggiungibile: interrogazione ripresa")
        .arg(QString::fromStdString(connection.Gateway()));
}

}  // namespace veltro::core
