// main() of the GUI tests: a QApplication on the offscreen platform, the Qt UI
// dispatcher installed, then the test cases.
#include "platform/QtUiDispatcher.h"

#include <QApplication>
#include <gtest/gtest.h>

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    ::testing::InitGoogleTest(&argc, argv);
    QApplication app(argc, argv);
    veltro::platform::QtUiDispatcher dispatcher;
    veltro::platform::InstallUiDispatcher(&dispatcher);
    const int rc = RUN_ALL_TESTS();
    veltro::platform::InstallUiDispatcher(nullptr);
    return rc;
}
