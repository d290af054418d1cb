#pragma once
// "Registra" on "Controllo": while polling runs, every finished poll cycle becomes one
// row of a CSV file in the job records folder, written as it comes. The line beside the
// button says where the file is and how many rows it holds. Polling never waits on the
// file: a folder that cannot be written stops the recording with one message and the
// poll goes on.

#include "core/PollRecorder.h"
#include "core/PollSession.h"

#include <QString>

#include <functional>

class QLabel;
class QPushButton;
class QWidget;

namespace veltro::app {

class MonitorRecording {
public:
    // The button and the status line, made as children of parent.
    explicit MonitorRecording(QWidget* parent);

    QPushButton* Button() const { return btnRecord; }
    QLabel* Status() const { return lblRecord; }

    // Where the files go; the job records folder unless a test says otherwise.
    std::function<QString()> Folder;
    // The meter's serial number as the page shows it, for the file's name.
    std::function<QString()> SerialNumber;
    // A failure, for the communication log.
    std::function<void(const QString&)> OnLog;

    // Recording is offered only while polling runs; stopping polling ends the file.
    void PollingStarted();
    void PollingStopped();
    void Cycle(const core::PollReply& reply);
    bool Recording() const { return FRecorder.Recording(); }
    const core::PollRecorder& Recorder() const { return FRecorder; }

private:
    void Toggled(bool on);
    void Start();
    void Stop();
    void Fail(const QString& message);
    void ShowRows();
    void ShowFile(const QString& pattern);

    core::PollRecorder FRecorder;
    QString FPattern;  // the status line's text, for the file shown again at a new width
    QPushButton* btnRecord;
    QLabel* lblRecord;
};

}  // namespace veltro::app
