// main() of the GUI tests: a QApplication on the offscreen platform, the Qt UI
// dispatcher installed, then the test cases, each with config and data folders of its
// own: the window keeps settings and job records there, and no test may find what an
// earlier one left, nor touch the user's own.
#include "platform/QtUiDispatcher.h"
#include "support/UserFolders.h"

#include <QApplication>
#include <gtest/gtest.h>

#include <memory>

namespace {

class PrivateFoldersPerTest : public ::testing::EmptyTestEventListener {
    // Called before the test's fixture is made and after it is gone.
    void OnTestStart(const ::testing::TestInfo&) override { folders_ = std::make_unique<veltro::test::UserFolders>(); }
    void OnTestEnd(const ::testing::TestInfo&) override { folders_.reset(); }

    std::unique_ptr<veltro::test::UserFolders> folders_;
};

}  // namespace

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    ::testing::InitGoogleTest(&argc, argv);
    ::testing::UnitTest::GetInstance()->listeners().Append(new PrivateFoldersPerTest);
    QApplication app(argc, argv);
    veltro::platform::QtUiDispatcher dispatcher;
    veltro::platform::InstallUiDispatcher(&dispatcher);
    const int rc = RUN_ALL_TESTS();
    veltro::platform::InstallUiDispatcher(nullptr);
    return rc;
}
