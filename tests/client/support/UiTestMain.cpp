// main() of the widget tests: one QApplication on the offscreen platform
// for the whole test program.
#include "core/ui/SanitizerHooks.h"

#include <QApplication>

#include <gtest/gtest.h>

#include <cstdlib>

int main(int argc, char** argv)
{
    if (std::getenv("QT_QPA_PLATFORM") == nullptr)
        ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
    // The offscreen platform's notes about size hints are not findings.
    ::setenv("QT_LOGGING_RULES", "qt.qpa.*=false", 0);
    QApplication application(argc, argv);
    QApplication::setQuitOnLastWindowClosed(false);
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
