// A recording: one CSV row per finished cycle, readable at every moment, with what failed.
#include "core/PollRecorder.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTimeZone>
#include <gtest/gtest.h>

using namespace veltro::core;

namespace {

QStringList Lines(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    QString text = QString::fromUtf8(file.readAll());
    text.remove(QChar(0xFEFF));
    QStringList lines = text.split(QStringLiteral("\r\n"));
    if (!lines.isEmpty() && lines.back().isEmpty())
        lines.removeLast();
    return lines;
}

ModuleValues ACycle()
{
    ModuleValues v;
    MeterReadings m;
    m.totals.fill(1.5);
    m.cosPhi = 0.98;
    m.activePower = 2.25;
    m.frequency = 50;
    v.meter = m;
    PhaseReadings p;
    p.currents = {5.2, 4.1, 6.3};
    p.voltages = {230, 231, 229};
    v.phases = p;
    return v;
}

}  // namespace

TEST(PollRecorder, WritesARowPerCycleReadableAfterEachWithFailuresInTheStatus)
{
    QTemporaryDir dir;
    const QDateTime start(QDate(2026, 12, 9), QTime(17, 15, 0), QTimeZone(3600));
    const QString path = dir.filePath(QStringLiteral("sub/") + PollRecorder::FileName(QStringLiteral("1234/5678"), start));
    EXPECT_TRUE(path.endsWith(QStringLiteral("/1234_5678_2026-12-09_171500_registrazione.csv")));
    PollRecorder recorder;
    QString error;
    ASSERT_TRUE(recorder.Start(path, QLocale(QStringLiteral("it_IT")), error)) << error.toStdString();
    const QString header = Lines(path).value(0);
    for (const char* title : {"Ora;Stato;1.8.0 energia attiva A+ [kWh]", "Potenza attiva [kW]", "Frequenza [Hz]",
                              "Corrente L3 [A]", "Tensione L1 [V]", "Angolo tensione L3 [°]"})
        EXPECT_TRUE(header.contains(QString::fromUtf8(title))) << title;
    const qsizetype columns = header.count(u';') + 1;

    ASSERT_TRUE(recorder.Add(start, ACycle(), {roSuccess, roSuccess, roSuccess}, error));
    EXPECT_EQ(Lines(path).size(), 2) << "the row is in the file before the next one comes";
    ModuleValues failed = ACycle();
    failed.phases.reset();
    ASSERT_TRUE(recorder.Add(start.addSecs(1), failed, {roSuccess, roNoReply, roSuccess}, error));
    recorder.Stop();

    const QStringList lines = Lines(path);
    ASSERT_EQ(lines.size(), 3);
    EXPECT_EQ(recorder.Rows(), 2);
    for (const QString& line : lines)
        EXPECT_EQ(line.count(u';') + 1, columns) << line.toStdString();
    EXPECT_TRUE(lines[1].startsWith(QStringLiteral("2026-12-09T17:15:00+01:00;completo;1,5;")));
    EXPECT_TRUE(lines[1].contains(QStringLiteral(";5,2;4,1;6,3;230;231;229;")));
    EXPECT_TRUE(lines[2].startsWith(QStringLiteral("2026-12-09T17:15:01+01:00;incompleto: blocco 2 (nessuna risposta);")));
    EXPECT_TRUE(lines[2].endsWith(QStringLiteral(";;;;;;;;;;;"))) << "the failed block's cells are empty";
}

TEST(PollRecorder, AFileThatCannotBeWrittenGivesAMessageAndRecordsNothing)
{
    PollRecorder recorder;
    QString error;
    // The full disk of the system's own device: every write fails with ENOSPC.
    EXPECT_FALSE(recorder.Start(QStringLiteral("/dev/full"), QLocale::c(), error));
    EXPECT_TRUE(error.startsWith(QStringLiteral("Registrazione non avviata: "))) << error.toStdString();
    EXPECT_FALSE(recorder.Recording());
    EXPECT_FALSE(recorder.Add(QDateTime::currentDateTime(), ACycle(), {roSuccess, roSuccess, roSuccess}, error));
}
