#pragma once
// The recording of a polling session: one CSV row per finished poll cycle, written and
// handed to the system as it comes, so a crash or an unplugged adapter costs at most the
// row in progress and the file is valid CSV at every moment. A cycle with a failed block
// has a row all the same, its values empty and the failure in the status column. The
// numbers follow the locale's conventions of the values export (";" between cells where
// "," is the decimal separator). The window and the command line record alike.

#include "core/ModuleValues.h"
#include "core/PollStatistics.h"

#include <QDateTime>
#include <QFile>
#include <QLocale>
#include <QString>

#include <array>

namespace veltro::core {

class PollRecorder {
public:
    // "12345678_2026-12-09_171500_registrazione.csv"
    static QString FileName(const QString& serialNumber, const QDateTime& start);

    // Creates the file (and its folder) and writes the header. False with an Italian
    // message when it cannot; nothing is recording then.
    bool Start(const QString& path, const QLocale& locale, QString& error);
    // One row for a finished cycle. False with an Italian message when the row could not
    // be written (a full disk, a folder gone): recording has stopped then.
    bool Add(const QDateTime& time, const ModuleValues& cycle, const std::array<TReplyOutcome, 3>& outcomes,
             QString& error);
    // Closes the file; what was written stays.
    void Stop();

    bool Recording() const { return file_.isOpen(); }
    const QString& Path() const { return path_; }
    int Rows() const { return rows_; }

    // The column titles, units in brackets: time, status, then every value the page shows.
    static QStringList Header();

private:
    bool Write(const QByteArray& line, QString& error);

    QFile file_;
    QString path_;
    QLocale locale_;
    int rows_ = 0;
};

}  // namespace veltro::core
