#pragma once
// The UI dispatcher of the window: posted tasks become queued calls on an object that
// lives in the GUI thread, so Qt's event loop delivers them in order.

#include "UiDispatcher.h"

#include <QObject>
#include <QPointer>

namespace veltro::platform {

class QtUiDispatcher : public UiDispatcher {
public:
    // Must be constructed on the GUI thread after the QApplication.
    QtUiDispatcher();
    ~QtUiDispatcher() override;

    void Post(Task task) override;
    void ProcessPendingEvents() override;

protected:
    void WakeForHandOver() override;

private:
    QObject* receiver_;
};

}  // namespace veltro::platform
