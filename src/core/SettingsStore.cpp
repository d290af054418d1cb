#include "core/SettingsStore.h"

#include "core/Common.h"
#include "core/SerialSettingsText.h"
#include "link/LinkClasses.h"

#include <QSettings>
#include <QStandardPaths>

#include <algorithm>
#include <initializer_list>

namespace veltro::core {

namespace {

// What the window's fields offer; a stored value outside these is not restored.
constexpr std::initializer_list<int> kIecBauds = {19200, 9600, 4800, 2400, 1200, 600, 300};
constexpr std::initializer_list<int> kModbusBauds = {19200, 9600, 4800, 2400};
constexpr std::initializer_list<int> kIecDataBits = {7, 8};
constexpr std::initializer_list<int> kModbusDataBits = {8};
constexpr std::initializer_list<int> kStopBits = {1, 2};
constexpr int kMaxPort = 200;
constexpr int kMaxAddress = 247;
constexpr int kPages = 3;
// No screen is this large: a larger size is a hand edit gone wrong.
constexpr int kMaxWindowSide = 20000;
constexpr qsizetype kSplitterPanes = 3;  // values, trend, log
constexpr int kLinks = 3;                // RS485, RTU over TCP, Modbus TCP
// A host name has at most 253 characters, then ":" and the port.
constexpr qsizetype kMaxGatewayLength = 253 + 6;
// An IEC 62056-21 device address has at most 32 characters.
constexpr int kMaxIdentLength = 32;

class Reader {
public:
    explicit Reader(QSettings& settings) : settings_(settings) {}

    // The stored integer when it is a plain decimal number the check accepts.
    template <typename Check>
    void Int(const QString& key, int& field, Check accepts) const
    {
        bool ok = false;
        const int value = settings_.value(key).toString().trimmed().toInt(&ok);
        if (ok && accepts(value))
            field = value;
    }
    void Range(const QString& key, int& field, int low, int high) const
    {
        Int(key, field, [&](int v) { return v >= low && v <= high; });
    }
    void OneOf(const QString& key, int& field, std::initializer_list<int> choices) const
    {
        Int(key, field, [&](int v) { return std::find(choices.begin(), choices.end(), v) != choices.end(); });
    }
    void Parity(const QString& key, QString& field) const
    {
        const QString value = settings_.value(key).toString().trimmed();
        for (std::string_view name : link::LinkParityNames) {
            const QString choice = QString::fromUtf8(name.data(), static_cast<qsizetype>(name.size()));
            if (value.compare(choice, Qt::CaseInsensitive) == 0)
                field = choice;
        }
    }
    // A line of printable text no longer than limit.
    void Text(const QString& key, QString& field, qsizetype limit) const
    {
        const QString value = settings_.value(key).toString().trimmed();
        const bool printable = std::all_of(value.begin(), value.end(), [](QChar c) { return c.isPrint(); });
        if (printable && value.size() <= limit)
            field = value;
    }
    void Digits(const QString& key, QString& field) const
    {
        const QVariant stored = settings_.value(key);
        if (!stored.isValid())
            return;
        const QString value = stored.toString().trimmed();
        const bool digits = std::all_of(value.begin(), value.end(), [](QChar c) { return c >= u'0' && c <= u'9'; });
        if (digits && value.size() <= kMaxIdentLength)
            field = value;
    }
    void Line(const QString& group, LineSettings& line, std::initializer_list<int> bauds,
              std::initializer_list<int> dataBits) const
    {
        OneOf(group + QStringLiteral("/bps"), line.baud, bauds);
        OneOf(group + QStringLiteral("/databits"), line.dataBits, dataBits);
        Parity(group + QStringLiteral("/parity"), line.parity);
        OneOf(group + QStringLiteral("/stopbits"), line.stopBits, kStopBits);
    }

    // Comma-separated sizes, each within 0..high; all of them or none.
    void Sizes(const QString& key, QList<int>& field, qsizetype count, int high) const
    {
        const QStringList parts = settings_.value(key).toString().split(QLatin1Char(','));
        QList<int> sizes;
        for (const QString& part : parts) {
            bool ok = false;
            const int value = part.trimmed().toInt(&ok);
            if (!ok || value < 0 || value > high)
                return;
            sizes << value;
        }
        if (sizes.size() == count)
            field = sizes;
    }

private:
    QSettings& settings_;
};

void WriteLine(QSettings& settings, const QString& group, const LineSettings& line)
{
    settings.setValue(group + QStringLiteral("/bps"), line.baud);
    settings.setValue(group + QStringLiteral("/databits"), line.dataBits);
    settings.setValue(group + QStringLiteral("/parity"), line.parity);
    settings.setValue(group + QStringLiteral("/stopbits"), line.stopBits);
}

const QString kIec = QStringLiteral("iec");
const QString kModbus = QStringLiteral("modbus");

}  // namespace

QString LineSettings::Text() const
{
    using namespace link;
    // Positions in the link's label tables, -1 (left out of the text) for a value none holds.
    const auto position = [](auto names, auto values, const std::string& text) {
        int value = -1;
        FindTableValue(names, values, text, value);
        return value;
    };
    return QString::fromStdString(
        SerialSettingsToText(position(LinkBaudNames, LinkBaudValues, std::to_string(baud)),
                             position(LinkDataBitsNames, LinkDataBitsValues, std::to_string(dataBits)),
                             position(LinkParityNames, LinkParityValues, parity.toStdString()),
                             position(LinkStopBitsNames, LinkStopBitsValues, std::to_string(stopBits))));
}

std::optional<LineSettings> ParseLineSettings(std::string_view text)
{
    using namespace link;
    SerialSettingsIndices parts;
    if (!ParseSerialSettingsText(text, parts))
        return std::nullopt;
    const auto name = [](auto table, int index) { return table[static_cast<size_t>(index)]; };
    LineSettings line;
    line.baud = StrToInt(name(LinkBaudNames, *parts.baud));
    line.dataBits = StrToInt(name(LinkDataBitsNames, *parts.dataBits));
    const std::string_view parity = name(LinkParityNames, *parts.parity);
    line.parity = QString::fromUtf8(parity.data(), static_cast<qsizetype>(parity.size()));
    line.stopBits = StrToInt(name(LinkStopBitsNames, *parts.stopBits));
    return line;
}

QString SettingsFilePath()
{
    // Built from the XDG variable at each call rather than through QSettings' own user
    // scope, which fixes the folder the first time it is used in a process.
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) +
           QStringLiteral("/VeltroConf/veltroconf.conf");
}

SavedSettings LoadSettings(const QString& path)
{
    SavedSettings s;
    QSettings settings(path, QSettings::IniFormat);
    // A file QSettings cannot read or parse yields no keys (or some of them): every
    // field it did not give is left at its default below.
    const Reader read(settings);
    read.Range(kIec + QStringLiteral("/port"), s.iec.port, 1, kMaxPort);
    read.Line(kIec, s.iec.line, kIecBauds, kIecDataBits);
    read.Digits(kIec + QStringLiteral("/ident"), s.iec.commIdent);
    read.Range(kModbus + QStringLiteral("/address"), s.modbus.address, 1, kMaxAddress);
    read.Range(kModbus + QStringLiteral("/port"), s.modbus.port, 1, kMaxPort);
    read.Line(kModbus, s.modbus.line, kModbusBauds, kModbusDataBits);
    read.Range(kModbus + QStringLiteral("/link"), s.modbus.link, 0, kLinks - 1);
    read.Text(kModbus + QStringLiteral("/gateway"), s.modbus.gateway, kMaxGatewayLength);
    read.Range(QStringLiteral("window/page"), s.page, 0, kPages - 1);
    read.Range(QStringLiteral("window/width"), s.width, 1, kMaxWindowSide);
    read.Range(QStringLiteral("window/height"), s.height, 1, kMaxWindowSide);
    read.Sizes(QStringLiteral("window/splitter"), s.splitter, kSplitterPanes, kMaxWindowSide);
    return s;
}

bool SaveSettings(const SavedSettings& s, const QString& path)
{
    QSettings settings(path, QSettings::IniFormat);
    // Only what is written below belongs in the file: whatever else a hand edit left
    // there (a password included) goes.
    settings.clear();
    settings.setValue(kIec + QStringLiteral("/port"), s.iec.port);
    WriteLine(settings, kIec, s.iec.line);
    settings.setValue(kIec + QStringLiteral("/ident"), s.iec.commIdent);
    settings.setValue(kModbus + QStringLiteral("/address"), s.modbus.address);
    settings.setValue(kModbus + QStringLiteral("/port"), s.modbus.port);
    WriteLine(settings, kModbus, s.modbus.line);
    settings.setValue(kModbus + QStringLiteral("/link"), s.modbus.link);
    settings.setValue(kModbus + QStringLiteral("/gateway"), s.modbus.gateway);
    settings.setValue(QStringLiteral("window/page"), s.page);
    if (s.width > 0 && s.height > 0) {
        settings.setValue(QStringLiteral("window/width"), s.width);
        settings.setValue(QStringLiteral("window/height"), s.height);
    }
    if (!s.splitter.isEmpty()) {
        QStringList sizes;
        for (int size : s.splitter)
            sizes << QString::number(size);
        settings.setValue(QStringLiteral("window/splitter"), sizes.join(QLatin1Char(',')));
    }
    settings.sync();
    return settings.status() == QSettings::NoError;
}

}  // namespace veltro::core
