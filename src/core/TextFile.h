#pragma once
// Saving a file the user will rely on later (a job record, a log, an export): written
// in full under a temporary name and then renamed over the target, so a full disk or a
// crash never leaves half a file behind. A failure comes back as Italian text that says
// what to do about it; nothing here throws.

#include <QByteArray>
#include <QString>

namespace veltro::core {

struct SaveOutcome {
    bool ok = false;
    QString error;  // why it failed, e.g. "la cartella non consente la scrittura"; empty when ok
};

// Creates the folder when missing.
SaveOutcome SaveFileAtomically(const QString& path, const QByteArray& content);

}  // namespace veltro::core
