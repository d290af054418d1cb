#pragma once
// The record of one finished "1. Leggi" or "2. Scrivi" run, kept as a plain-text file so
// a technician can show later what was read from or written to which meter, when, and
// whether it worked. One file per run under the program's data folder.

#include "core/ConfigRun.h"
#include "core/SettingsStore.h"
#include "core/TextFile.h"

#include <QDateTime>
#include <QStringList>

#include <optional>

namespace veltro::core {

enum class JobKind { Read, Write };

struct JobRecord {
    JobKind kind = JobKind::Read;
    QDateTime finished;     // when the run ended
    IecSettings iec;        // port, line settings and identifier the run used
    QString portDevice;     // what the port number stood for, e.g. "/dev/ttyUSB0 — FTDI ..."
    bool success = false;
    // The values read (a read) or written (a write). An address or settings the run did
    // not get to read or write are absent: a failed read must not pass for "automatic".
    QString serialNumber;                 // the meter's serial number; empty when unknown
    std::optional<QString> serverAddress;  // the module's Modbus address; empty for the automatic one
    std::optional<QString> rs485;          // "9600 8N1"; empty for the module's defaults
    QStringList log;        // the run's log lines, in order
};

struct RecordOutcome {
    bool ok = false;
    QString path;     // the record's file (also when it could not be written)
    QString message;  // for the user when !ok: what failed and why, in Italian
};

// The record of a read or write run that just ended. A write goes to the meter the last
// read found: meterSerial is its serial number; a read's is the one it read. portDevice is
// what the port number stood for at the end of the run.
JobRecord RecordOfRun(const ConfigRunResult& run, const IecSettings& iec, const QString& portDevice,
                      const QString& meterSerial, const QStringList& log, const QDateTime& finished);

// A serial number as part of a file name: letters, digits and '-' only ("senza-matricola"
// when nothing is left), so no meter reply can name another folder.
QString SafeFileNamePart(const QString& text);

// <AppDataLocation>/rapporti: ~/.local/share/VeltroConf/rapporti for the window.
QString RecordsFolder();
// "2026-12-08_175803_12345678_lettura.txt"
QString JobRecordFileName(const JobRecord& record);
QString JobRecordText(const JobRecord& record);
// Writes the record into folder under a name no earlier record has; never throws and
// never touches anything but that file.
RecordOutcome WriteJobRecord(const JobRecord& record, const QString& folder = RecordsFolder());

}  // namespace veltro::core
