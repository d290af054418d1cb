#include "app/PortHelp.h"

#include "platform/PortNames.h"

namespace veltro::app {

QString AccessDeniedHint(const std::string& portName)
{
    if (!platform::PortAccessDenied(portName))
        return {};
    return QStringLiteral("Accesso negato alla porta %1: l'utente deve far parte del gruppo \"dialout\" "
                          "(sudo adduser $USER dialout, poi uscire e rientrare nella sessione).")
        .arg(QString::fromStdString(portName));
}

}  // namespace veltro::app
