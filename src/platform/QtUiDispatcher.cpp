#include "QtUiDispatcher.h"

#include <QCoreApplication>
#include <QMetaObject>

namespace veltro::platform {

QtUiDispatcher::QtUiDispatcher() : receiver_(new QObject) {}

QtUiDispatcher::~QtUiDispatcher()
{
    delete receiver_;
}

void QtUiDispatcher::Post(Task task)
{
    // Queued calls to one receiver are delivered in the order they were posted. An
    // exception must never unwind into Qt's event loop, so it is reported here.
    QMetaObject::invokeMethod(
        receiver_,
        [task = std::move(task)] {
            try {
                task();
            } catch (...) {
                ReportException(std::current_exception());
            }
        },
        Qt::QueuedConnection);
}

void QtUiDispatcher::WakeForHandOver()
{
    QMetaObject::invokeMethod(receiver_, [this] { ServeHandOvers(); }, Qt::QueuedConnection);
}

void QtUiDispatcher::ProcessPendingEvents()
{
    ServeHandOvers();
    QCoreApplication::processEvents(QEventLoop::AllEvents);
    ServeHandOvers();
}

}  // namespace veltro::platform
