#include "core/PortHelp.h"

#include "platform/PortNames.h"

#include <cerrno>
#include <system_error>

namespace veltro::core {

QString AccessDeniedHint(const std::string& portName)
{
    if (!platform::PortAccessDenied(portName))
        return {};
    return QStringLiteral("Accesso negato alla porta %1: l'utente deve far parte del gruppo \"dialout\" "
                          "(sudo adduser $USER dialout, poi uscire e rientrare nella sessione).")
        .arg(QString::fromStdString(portName));
}

QString PortOpenFailureText(const std::string& portName, int error)
{
    const QString port = QString::fromStdString(portName);
    switch (error) {
    case EBUSY:
        return QStringLiteral("La porta %1 è già in uso da un altro programma.").arg(port);
    case ENOENT:
    case ENODEV:
    case ENXIO:
        return QStringLiteral("La porta %1 non è presente: nessun dispositivo seriale risponde a questo numero "
                              "(l'adattatore è scollegato?).")
            .arg(port);
    case EACCES:
    case EPERM:
        if (const QString hint = AccessDeniedHint(portName); !hint.isEmpty())
            return hint;
        break;
    default:
        break;
    }
    QString text = QStringLiteral("Impossibile aprire la porta %1").arg(port);
    if (error != 0)
        text += QStringLiteral(" (errore di sistema %1: %2)")
                    .arg(error)
                    .arg(QString::fromStdString(std::system_category().message(error)));
    return text + QLatin1Char('.');
}

}  // namespace veltro::core
