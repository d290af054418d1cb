#include "core/TextFile.h"

#include <QDir>
#include <QFileInfo>
#include <QSaveFile>
#include <QStorageInfo>

#include <cerrno>
#include <unistd.h>

namespace veltro::core {

namespace {

// Below this the disk is as good as full: a record or an export needs a few kilobytes.
constexpr qint64 kNearlyFull = 64 * 1024;

// Why nothing could be written into folder, which exists. Qt's own error texts are
// English and name no remedy, so the cause is looked up again here.
QString WhyNotWritable(const QString& folder)
{
    if (::access(QFile::encodeName(folder).constData(), W_OK) != 0)
        return errno == EROFS ? QStringLiteral("il disco è in sola lettura")
                              : QStringLiteral("la cartella non consente la scrittura");
    const QStorageInfo storage(folder);
    if (storage.isValid() && storage.bytesAvailable() < kNearlyFull)
        return QStringLiteral("il disco è pieno");
    return QStringLiteral("errore di scrittura");
}

QString WhyNoFolder(const QString& folder)
{
    QFileInfo existing(folder);
    while (!existing.exists() && !existing.isRoot() && existing.absoluteFilePath() != existing.absolutePath())
        existing = QFileInfo(existing.absolutePath());
    if (existing.exists() && !existing.isDir())
        return QStringLiteral("%1 non è una cartella").arg(existing.absoluteFilePath());
    return WhyNotWritable(existing.absoluteFilePath());
}

}  // namespace

SaveOutcome SaveFileAtomically(const QString& path, const QByteArray& content)
{
    const QString folder = QFileInfo(path).absolutePath();
    if (!QDir().mkpath(folder))
        return {false, QStringLiteral("impossibile creare la cartella %1 (%2)").arg(folder, WhyNoFolder(folder))};
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return {false, WhyNotWritable(folder)};
    if (file.write(content) != content.size() || !file.commit())
        return {false, WhyNotWritable(folder)};
    return {true, {}};
}

}  // namespace veltro::core
