// main() of the widget tests: one QApplication for every test of the executable, created before
// any test runs (ctest runs each test in a process of its own).
#include "support/GuiTestApp.h"

#include <gtest/gtest.h>

int main(int argc, char** argv)
{
    ::testing::InitGoogleTest(&argc, argv);
    // Widgets without a display unless the caller chose a platform (Xvfb, a desktop).
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    nixora::test::guiTestApp();
    return RUN_ALL_TESTS();
}
