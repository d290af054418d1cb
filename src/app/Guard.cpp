#include "app/Guard.h"

#include "platform/UiDispatcher.h"

#include <QApplication>
#include <QMessageBox>

namespace veltro::app {

void ShowErrorBox(const QString& message)
{
    QMessageBox::critical(QApplication::activeWindow(), QApplication::applicationName(), message);
}

void RunGuarded(const std::function<void()>& fn)
{
    try {
        fn();
    } catch (...) {
        ShowErrorBox(QString::fromStdString(platform::ExceptionMessage(std::current_exception())));
    }
}

void InstallErrorDisplay()
{
    platform::SetExceptionHandler([](std::exception_ptr error) {
        ShowErrorBox(QString::fromStdString(platform::ExceptionMessage(error)));
    });
}

}  // namespace veltro::app
