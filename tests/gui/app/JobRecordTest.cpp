// Job records: one file per finished run, and a clear message when none can be written.
#include "core/JobRecord.h"
#include "support/Unprivileged.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTimeZone>
#include <gtest/gtest.h>

#include <sys/stat.h>

using namespace veltro::core;

namespace {
JobRecord ARead()
{
    JobRecord r;
    r.kind = JobKind::Read;
    r.finished = QDateTime(QDate(2026, 12, 8), QTime(17, 58, 3), QTimeZone(3600));
    r.iec = {1, {9600, 7, QStringLiteral("Pari"), 1}, QStringLiteral("12345678")};
    r.portDevice = QStringLiteral("/dev/ttyUSB0 — FTDI FT232R USB UART");
    r.success = true;
    r.serialNumber = QStringLiteral("12345678");
    r.serverAddress = QString();  // the automatic one
    r.rs485 = QStringLiteral("19200 8E1");
    r.log = {QStringLiteral("Connessione fisica"), QStringLiteral("Lettura matricola"), QStringLiteral("Fine lavoro")};
    return r;
}

QString ReadAll(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
}
}  // namespace

TEST(JobRecord, EachRunLeavesItsOwnNamedRecord)
{
    QTemporaryDir data;
    const QByteArray previous = qgetenv("XDG_DATA_HOME");
    qputenv("XDG_DATA_HOME", data.path().toUtf8());
    ASSERT_TRUE(RecordsFolder().startsWith(data.path()) && RecordsFolder().endsWith(QStringLiteral("/rapporti")));

    const RecordOutcome first = WriteJobRecord(ARead());
    ASSERT_TRUE(first.ok) << first.message.toStdString();
    EXPECT_EQ(first.path, RecordsFolder() + QStringLiteral("/2026-12-08_175803_12345678_lettura.txt"));
    const QString text = ReadAll(first.path);
    for (const char* line : {"Data e ora: 2026-12-08T17:58:03+01:00", "Esito: riuscito",
                             "Porta seriale: COM1 (/dev/ttyUSB0 — FTDI FT232R USB UART)",
                             "Impostazioni di linea: 9600 7E1", "ID di comunicazione: 12345678", "Valori letti:",
                             "Matricola contatore: 12345678",
                             "Indirizzo server Modbus: 178 (automatico: ultime 2 cifre della matricola + 100)",
                             "Impostazioni RS485: 19200 8E1",
                             "Registro del lavoro:\nConnessione fisica\nLettura matricola\nFine lavoro\n"})
        EXPECT_TRUE(text.contains(QString::fromUtf8(line))) << line << "\n" << text.toStdString();

    // A quick second run in the same second keeps both; a reply that would make a path
    // of the serial number stays inside the folder.
    EXPECT_EQ(QFileInfo(WriteJobRecord(ARead()).path).fileName(), QStringLiteral("2026-12-08_175803_12345678_lettura_2.txt"));
    JobRecord failed = ARead();
    failed.kind = JobKind::Write;
    failed.success = false;
    failed.serialNumber = QStringLiteral("../x");
    failed.serverAddress.reset();  // the run failed before it got to them
    failed.rs485.reset();
    const RecordOutcome odd = WriteJobRecord(failed);
    EXPECT_EQ(odd.path, RecordsFolder() + QStringLiteral("/2026-12-08_175803____x_scrittura.txt"));
    const QString failedText = ReadAll(odd.path);
    EXPECT_TRUE(failedText.contains(QStringLiteral("Esito: non riuscito\n")));
    EXPECT_TRUE(failedText.contains(
        QStringLiteral("Indirizzo server Modbus: non scritto\nImpostazioni RS485: non scritte\n")))
        << failedText.toStdString();
    EXPECT_EQ(QDir(RecordsFolder()).entryList(QDir::Files).size(), 3);
    qputenv("XDG_DATA_HOME", previous);
}

TEST(JobRecord, AFolderThatCannotBeWrittenGivesAMessageAndNoFile)
{
    QTemporaryDir base;
    ::chmod(base.path().toUtf8().constData(), 0755);
    const QString readOnly = base.filePath(QStringLiteral("sola-lettura"));
    ASSERT_TRUE(QDir().mkdir(readOnly));
    ::chmod(readOnly.toUtf8().constData(), 0555);
    EXPECT_TRUE(veltro::test::AsUnprivilegedUser([&] {
        const RecordOutcome r = WriteJobRecord(ARead(), readOnly);
        return !r.ok && r.message.startsWith(QStringLiteral("Impossibile salvare il rapporto del lavoro in ")) &&
               r.message.endsWith(QStringLiteral(": la cartella non consente la scrittura.")) &&
               QDir(readOnly).isEmpty();
    }));

    // A file where the folder should be: no folder can be made there, even by root.
    const QString blocked = base.filePath(QStringLiteral("file"));
    QFile(blocked).open(QIODevice::WriteOnly);
    const RecordOutcome r = WriteJobRecord(ARead(), blocked + QStringLiteral("/rapporti"));
    EXPECT_FALSE(r.ok);
    EXPECT_TRUE(r.message.contains(QStringLiteral("impossibile creare la cartella"))) << r.message.toStdString();
    EXPECT_TRUE(r.message.contains(blocked + QStringLiteral(" non è una cartella"))) << r.message.toStdString();
}
