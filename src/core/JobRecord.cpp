#include "core/JobRecord.h"

#include "core/IsoTime.h"
#include "core/ModuleDefaults.h"

#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>

namespace veltro::core {

namespace {

// One line of the file: control characters a meter might send become blanks.
QString OneLine(const QString& text)
{
    QString line = text;
    for (QChar& c : line)
        if (c.category() == QChar::Other_Control)
            c = u' ';
    return line;
}

QString OrUnknown(const QString& value, const QString& unknown)
{
    return value.trimmed().isEmpty() ? unknown : OneLine(value);
}

}  // namespace

JobRecord RecordOfRun(const ConfigRunResult& run, const IecSettings& iec, const QString& portDevice,
                      const QString& meterSerial, const QStringList& log, const QDateTime& finished)
{
    const auto value = [&](const char* code) -> std::optional<QString> {
        const auto it = run.registers.find(code);
        if (it == run.registers.end())
            return std::nullopt;
        return QString::fromStdString(it->second);
    };
    JobRecord r;
    r.kind = run.write ? JobKind::Write : JobKind::Read;
    r.finished = finished;
    r.iec = iec;
    r.portDevice = portDevice;
    r.success = run.success;
    r.serialNumber = run.write ? meterSerial : value(kSerialNumberCode).value_or(QString());
    r.serverAddress = value(kModbusAddressCode);
    r.rs485 = value(kModbusSettingsCode);
    r.log = log;
    if (!run.error.empty())
        r.log << QString::fromStdString(run.error);
    return r;
}

QString SafeFileNamePart(const QString& text)
{
    // A value from the meter goes into a file name: keep letters, digits and '-', so no
    // reply can name another folder or a hidden file.
    constexpr int kMaxNamePart = 32;
    QString part;
    for (QChar c : text.trimmed().left(kMaxNamePart))
        part += (c.isLetterOrNumber() && c.unicode() < 128) || c == u'-' ? c : QChar(u'_');
    return part.isEmpty() ? QStringLiteral("senza-matricola") : part;
}

QString RecordsFolder()
{
    return QStandardPaths::writableLocation(QStandardPaths::AppDataLocation) + QStringLiteral("/rapporti");
}

QString JobRecordFileName(const JobRecord& record)
{
    return QStringLiteral("%1_%2_%3.txt")
        .arg(record.finished.toString(QStringLiteral("yyyy-MM-dd_HHmmss")), SafeFileNamePart(record.serialNumber),
             record.kind == JobKind::Read ? QStringLiteral("lettura") : QStringLiteral("scrittura"));
}

QString JobRecordText(const JobRecord& r)
{
    const bool read = r.kind == JobKind::Read;
    QStringList out;
    out << QStringLiteral("VeltroConf - rapporto di lavoro");
    out << (read ? QStringLiteral("Lavoro: lettura della configurazione (1. Leggi)")
                 : QStringLiteral("Lavoro: scrittura della configurazione (2. Scrivi)"));
    out << QStringLiteral("Data e ora: %1").arg(IsoLocalTime(r.finished));
    out << QStringLiteral("Esito: %1").arg(r.success ? QStringLiteral("riuscito") : QStringLiteral("non riuscito"));
    out << QString();
    QString port = QStringLiteral("COM%1").arg(r.iec.port);
    if (!r.portDevice.isEmpty())
        port += QStringLiteral(" (%1)").arg(OneLine(r.portDevice));
    out << QStringLiteral("Porta seriale: %1").arg(port);
    out << QStringLiteral("Impostazioni di linea: %1").arg(r.iec.line.Text());
    out << QStringLiteral("ID di comunicazione: %1").arg(OneLine(r.iec.commIdent));
    out << QString();
    out << (read ? QStringLiteral("Valori letti:") : QStringLiteral("Valori scritti:"));
    out << QStringLiteral("Matricola contatore: %1").arg(OrUnknown(r.serialNumber, QStringLiteral("sconosciuta")));
    // A record is the technician's proof: it states the values in effect, not only that
    // they were the automatic or default ones.
    const QString automatic =
        QString::fromStdString(AutomaticAddressText(AutomaticAddress(r.serialNumber.trimmed().toStdString())));
    const QString defaults = QString::fromStdString(DefaultSettingsText());
    out << QStringLiteral("Indirizzo server Modbus: %1")
               .arg(r.serverAddress ? OrUnknown(*r.serverAddress, automatic)
                                    : read ? QStringLiteral("non letto") : QStringLiteral("non scritto"));
    out << QStringLiteral("Impostazioni RS485: %1")
               .arg(r.rs485 ? OrUnknown(*r.rs485, defaults)
                            : read ? QStringLiteral("non lette") : QStringLiteral("non scritte"));
    out << QString();
    out << QStringLiteral("Registro del lavoro:");
    for (const QString& line : r.log)
        out << OneLine(line);
    return out.join(QLatin1Char('\n')) + QLatin1Char('\n');
}

RecordOutcome WriteJobRecord(const JobRecord& record, const QString& folder)
{
    try {
        const QDir dir(folder);
        QString path = dir.filePath(JobRecordFileName(record));
        // Two runs within the same second (a quick retry) each keep their record.
        for (int n = 2; QFileInfo::exists(path); ++n)
            path = dir.filePath(JobRecordFileName(record).replace(QStringLiteral(".txt"), QStringLiteral("_%1.txt").arg(n)));
        const SaveOutcome saved = SaveFileAtomically(path, JobRecordText(record).toUtf8());
        if (saved.ok)
            return {true, path, {}};
        return {false, path, QStringLiteral("Impossibile salvare il rapporto del lavoro in %1: %2.").arg(path, saved.error)};
    } catch (const std::exception& e) {
        // Only a failed allocation can get here; the run's result must not be disturbed.
        return {false, {}, QStringLiteral("Impossibile salvare il rapporto del lavoro: %1.").arg(QString::fromLocal8Bit(e.what()))};
    }
}

}  // namespace veltro::core
