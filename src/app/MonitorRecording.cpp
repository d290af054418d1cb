#include "app/MonitorRecording.h"

#include "app/Guard.h"
#include "core/JobRecord.h"

#include <QDateTime>
#include <QEvent>
#include <QDir>
#include <QFileInfo>
#include <QFontMetrics>
#include <QLabel>
#include <QLocale>
#include <QPushButton>
#include <QSignalBlocker>

#include <algorithm>

namespace veltro::app {

namespace {

// Keeps a label exactly as wide as the room beside it: a label of fixed size repaints a
// new text without laying out the page again, which at every cycle would cost more than
// the recording itself.
class FixedWidthFollower : public QObject {
public:
    FixedWidthFollower(QWidget* room, QLabel* label, QWidget* before, std::function<void()> resized)
        : QObject(label), room_(room), label_(label), before_(before), resized_(std::move(resized))
    {
        room->installEventFilter(this);
    }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (watched == room_ && event->type() == QEvent::Resize) {
            label_->setFixedWidth(std::max(0, room_->width() - before_->sizeHint().width() - 12));
            resized_();
        }
        return false;
    }

private:
    QWidget* room_;
    QLabel* label_;
    QWidget* before_;
    std::function<void()> resized_;
};

}  // namespace

MonitorRecording::MonitorRecording(QWidget* parent)
    : Folder([] { return core::RecordsFolder(); }),
      btnRecord(new QPushButton(QStringLiteral("Registra"), parent)),
      lblRecord(new QLabel(parent))
{
    btnRecord->setObjectName(QStringLiteral("btnRecord"));
    btnRecord->setCheckable(true);
    btnRecord->setEnabled(false);
    btnRecord->setToolTip(QStringLiteral("Scrive ogni ciclo di interrogazione in un file CSV nella cartella dei rapporti"));
    lblRecord->setObjectName(QStringLiteral("lblRecord"));
    lblRecord->setTextInteractionFlags(Qt::TextSelectableByMouse);
    // A long folder must never widen the window past the screen: the line names the file,
    // its tip the whole path.
    lblRecord->setFixedSize(0, lblRecord->fontMetrics().height() + 2);
    new FixedWidthFollower(parent, lblRecord, btnRecord, [this] {
        if (!FPattern.isEmpty())
            ShowFile(FPattern);
    });
    QObject::connect(btnRecord, &QPushButton::toggled, btnRecord,
                     [this](bool on) { RunGuarded([this, on] { Toggled(on); }); });
}

void MonitorRecording::PollingStarted()
{
    btnRecord->setEnabled(true);
}

void MonitorRecording::PollingStopped()
{
    btnRecord->setEnabled(false);
    const QSignalBlocker quiet(btnRecord);
    btnRecord->setChecked(false);
    Stop();
}

void MonitorRecording::Toggled(bool on)
{
    if (on)
        Start();
    else
        Stop();
}

void MonitorRecording::Start()
{
    QString serial = SerialNumber ? SerialNumber() : QString();
    if (serial.isEmpty())
        serial = QStringLiteral("matricola-sconosciuta");
    const QDateTime now = QDateTime::currentDateTime();
    const QString path = QDir(Folder()).filePath(core::PollRecorder::FileName(serial, now));
    QString error;
    if (!FRecorder.Start(path, QLocale(), error))
        return Fail(error);
    ShowRows();
}

void MonitorRecording::Stop()
{
    if (!FRecorder.Recording())
        return;
    FRecorder.Stop();
    ShowFile(QStringLiteral("Registrazione conclusa: %1 (righe: %2)"));
}

void MonitorRecording::Cycle(const core::PollReply& reply)
{
    if (!reply.cycle || !FRecorder.Recording())
        return;
    QString error;
    if (!FRecorder.Add(QDateTime::currentDateTime(), *reply.cycle, reply.cycleOutcomes, error))
        return Fail(error);
    ShowRows();
}

void MonitorRecording::Fail(const QString& message)
{
    FRecorder.Stop();
    {
        const QSignalBlocker quiet(btnRecord);
        btnRecord->setChecked(false);
    }
    // Said once, where the file's name stood, and in the log; a box would hold up the
    // technician watching the values while the poll carries on.
    FPattern.clear();
    lblRecord->setText(message);
    lblRecord->setToolTip(message);
    if (OnLog)
        OnLog(message);
}

void MonitorRecording::ShowRows()
{
    ShowFile(QStringLiteral("Registrazione in corso: %1 (righe: %2)"));
}

// The line names the whole path where it has room; a long folder gives up its middle,
// never the file's name.
void MonitorRecording::ShowFile(const QString& pattern)
{
    FPattern = pattern;
    const QString path = QDir::toNativeSeparators(QFileInfo(FRecorder.Path()).absoluteFilePath());
    const QString rest = pattern.arg(QString()).arg(FRecorder.Rows());
    const QFontMetrics metrics = lblRecord->fontMetrics();
    const int room = lblRecord->width() - metrics.horizontalAdvance(rest) - 4;
    QString shown = path;
    if (metrics.horizontalAdvance(path) > room) {
        const QFileInfo file(path);
        const QString name = QDir::separator() + file.fileName();
        const QString folder = QDir::toNativeSeparators(file.absolutePath());
        shown = metrics.elidedText(folder, Qt::ElideMiddle, std::max(0, room - metrics.horizontalAdvance(name))) + name;
    }
    lblRecord->setText(pattern.arg(shown).arg(FRecorder.Rows()));
    lblRecord->setToolTip(path);
}

}  // namespace veltro::app
