// main() of the application test programs: a QApplication on the offscreen platform.
#include "Startup.h"

#include <QApplication>

#include <gtest/gtest.h>

#include <cstdlib>
#include <unistd.h>

int main(int argc, char** argv) {
    // Tests never open real windows and never touch the user's own files.
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    // Chromium refuses to start as root unless its sandbox is off.
    if (geteuid() == 0) setenv("QTWEBENGINE_DISABLE_SANDBOX", "1", 0);
    setenv("QTWEBENGINE_CHROMIUM_FLAGS", "--disable-gpu --disable-background-networking", 0);
    rig::app::prepareApplication();
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
