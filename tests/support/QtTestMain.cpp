// The main of test suites that use Qt widgets: one application object lives
// around every test. Without a display of their own the tests draw
// offscreen, so they run the same on a desktop, over ssh and in CI.
#include "support/TempHome.h"

#include <QApplication>

#include <gtest/gtest.h>

#include <filesystem>

int main(int argc, char** argv)
{
    // The program's global objects (the engine controller, the settings
    // object) save themselves when the process ends, after every test's own
    // home is gone. This home is built before them, so it ends after them
    // and takes what they write with it instead of the user's home.
    static TempHome processHome;
    // Tests' own homes lie inside it; a peer a test starts as another user
    // (a server run as nobody when the tests run as root) passes through.
    for (const char* sub : { "", "tmp" }) {
        std::error_code ignored;
        std::filesystem::permissions(processHome.Path(sub),
            std::filesystem::perms::others_exec | std::filesystem::perms::group_exec,
            std::filesystem::perm_options::add, ignored);
    }
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
