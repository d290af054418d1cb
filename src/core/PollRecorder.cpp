#include "core/PollRecorder.h"

#include "core/Exports.h"
#include "core/IsoTime.h"
#include "core/JobRecord.h"

#include <QDir>
#include <QFileInfo>

namespace veltro::core {

namespace {

QString Titled(const char* name, const char* unit)
{
    const QString text = QString::fromUtf8(name);
    return *unit ? QStringLiteral("%1 [%2]").arg(text, QString::fromUtf8(unit)) : text;
}

QString OutcomeWords(TReplyOutcome outcome)
{
    switch (outcome) {
    case roNoReply: return QStringLiteral("nessuna risposta");
    case roException: return QStringLiteral("risposta di errore");
    case roUnmatched: return QStringLiteral("risposta non corrispondente");
    default: return QStringLiteral("risposta invalida");
    }
}

QString Status(const std::array<TReplyOutcome, 3>& outcomes)
{
    QStringList missing;
    for (size_t i = 0; i < outcomes.size(); ++i)
        if (outcomes[i] != roSuccess)
            missing << QStringLiteral("blocco %1 (%2)").arg(i + 1).arg(OutcomeWords(outcomes[i]));
    return missing.isEmpty() ? QStringLiteral("completo") : QStringLiteral("incompleto: ") + missing.join(QStringLiteral(", "));
}

// Cells of a block: its values, or as many empty cells when it failed in the cycle.
template <typename Values, typename Fill>
void AddBlock(CsvRow& row, const std::optional<Values>& values, int count, Fill fill)
{
    if (values)
        fill(*values);
    else
        for (int i = 0; i < count; ++i)
            row << QString();
}

}  // namespace

QString PollRecorder::FileName(const QString& serialNumber, const QDateTime& start)
{
    return QStringLiteral("%1_%2_registrazione.csv")
        .arg(SafeFileNamePart(serialNumber), start.toString(QStringLiteral("yyyy-MM-dd_HHmmss")));
}

QStringList PollRecorder::Header()
{
    QStringList titles = {QStringLiteral("Ora"), QStringLiteral("Stato")};
    for (size_t i = 0; i < kTotalCount; ++i)
        titles << QStringLiteral("%1 %2").arg(QString::fromUtf8(kTotalNames[i].code),
                                              Titled(kTotalNames[i].description, kTotalNames[i].unit));
    titles << QStringLiteral("Cos phi") << QStringLiteral("Potenza attiva [kW]") << QStringLiteral("Potenza reattiva [kvar]")
           << QStringLiteral("Potenza apparente [kVA]") << QStringLiteral("Frequenza [Hz]");
    for (int phase = 1; phase <= 3; ++phase)
        titles << QStringLiteral("Corrente L%1 [A]").arg(phase);
    for (int phase = 1; phase <= 3; ++phase)
        titles << QStringLiteral("Tensione L%1 [V]").arg(phase);
    for (int phase = 1; phase <= 3; ++phase)
        titles << QStringLiteral("Angolo corrente L%1 [°]").arg(phase);
    for (int phase = 2; phase <= 3; ++phase)
        titles << QStringLiteral("Angolo tensione L%1 [°]").arg(phase);
    return titles;
}

bool PollRecorder::Start(const QString& path, const QLocale& locale, QString& error)
{
    Stop();
    path_ = path;
    locale_ = locale;
    rows_ = 0;
    const QString folder = QFileInfo(path).absolutePath();
    if (!QDir().mkpath(folder)) {
        error = QStringLiteral("Registrazione non avviata: impossibile creare la cartella %1.").arg(folder);
        return false;
    }
    file_.setFileName(path);
    if (!file_.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
        error = QStringLiteral("Registrazione non avviata: impossibile creare il file %1 (%2).").arg(path, file_.errorString());
        return false;
    }
    CsvRow header;
    for (const QString& title : Header())
        header << title;
    // The byte-order mark makes spreadsheets read the accents and the degree sign right.
    if (!Write(QByteArrayLiteral("\xEF\xBB\xBF") + CsvLine(header, locale_), error)) {
        error = QStringLiteral("Registrazione non avviata: impossibile scrivere in %1 (%2).").arg(path, file_.errorString());
        Stop();
        return false;
    }
    return true;
}

bool PollRecorder::Add(const QDateTime& time, const ModuleValues& cycle, const std::array<TReplyOutcome, 3>& outcomes,
                       QString& error)
{
    if (!Recording())
        return false;
    CsvRow row{IsoLocalTime(time), Status(outcomes)};
    AddBlock(row, cycle.meter, static_cast<int>(kTotalCount) + 5, [&](const MeterReadings& m) {
        for (double total : m.totals)
            row << total;
        row << m.cosPhi << m.activePower << m.reactivePower << m.apparentPower << m.frequency;
    });
    AddBlock(row, cycle.phases, 11, [&](const PhaseReadings& p) {
        for (double v : p.currents)
            row << v;
        for (double v : p.voltages)
            row << v;
        for (double v : p.currentAngles)
            row << v;
        row << p.voltageAngles[1] << p.voltageAngles[2];
    });
    if (!Write(CsvLine(row, locale_), error)) {
        Stop();
        return false;
    }
    ++rows_;
    return true;
}

bool PollRecorder::Write(const QByteArray& line, QString& error)
{
    // One write and a flush per row: the system has each row whole before the next.
    if (file_.write(line) == line.size() && file_.flush())
        return true;
    error = QStringLiteral("Registrazione interrotta: impossibile scrivere in %1 (%2).").arg(path_, file_.errorString());
    return false;
}

void PollRecorder::Stop()
{
    if (file_.isOpen())
        file_.close();
}

}  // namespace veltro::core
