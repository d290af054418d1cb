#pragma once
// The window's settings kept between runs: the IEC port and line settings with the
// communication identifier, the Modbus address, port and line settings, and the page
// last shown. The meter password is never kept. A settings file that is missing,
// unreadable or edited by hand into nonsense gives the defaults for the fields it spoils
// and nothing else: the window must start whatever the file holds.

#include <QList>
#include <QString>

#include <optional>
#include <string_view>

namespace veltro::core {

struct LineSettings {
    int baud = 9600;
    int dataBits = 8;
    QString parity = QStringLiteral("Nessuna");  // as the parity lists show it: "Nessuna", "Pari", "Dispari"
    int stopBits = 1;

    // "9600 7E1"
    QString Text() const;
    bool operator==(const LineSettings&) const = default;
};

// The settings a text such as "9600 7E1" gives, when every part is one the link's label
// tables hold; nullopt otherwise.
std::optional<LineSettings> ParseLineSettings(std::string_view text);

struct IecSettings {
    int port = 1;
    LineSettings line{9600, 7, QStringLiteral("Pari"), 1};
    QString commIdent;  // digits only

    bool operator==(const IecSettings&) const = default;
};

struct ModbusSettings {
    int address = 100;
    int port = 1;
    LineSettings line{9600, 8, QStringLiteral("Nessuna"), 1};
    // 0 the RS485 port, 1 a gateway passing RTU frames, 2 a Modbus TCP gateway; the
    // gateway as typed ("192.168.1.20:502").
    int link = 0;
    QString gateway;

    bool operator==(const ModbusSettings&) const = default;
};

struct SavedSettings {
    IecSettings iec;
    ModbusSettings modbus;
    int page = 1;  // 0 "Configurazione", 1 "Controllo", 2 "Decodifica"
    // The window's size as the user left it (0: none kept, the window's own), and the
    // heights "Controllo" gives its values, trend and log (empty: the page's own).
    int width = 0;
    int height = 0;
    QList<int> splitter;

    bool operator==(const SavedSettings&) const = default;
};

// $XDG_CONFIG_HOME/VeltroConf/veltroconf.conf (~/.config when the variable is unset).
QString SettingsFilePath();

// Never fails: every field that is missing or not one the window offers is its default.
SavedSettings LoadSettings(const QString& path = SettingsFilePath());
// False when the file could not be written; the window carries on either way.
bool SaveSettings(const SavedSettings& settings, const QString& path = SettingsFilePath());

}  // namespace veltro::core
