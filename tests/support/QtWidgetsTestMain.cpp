#include <gtest/gtest.h>

#include <QApplication>
#include <QStandardPaths>

#include "platform/system/LibrarySetup.h"

int main(int argc, char** argv) {
    testing::InitGoogleTest(&argc, argv);
    // Settings and folders go to test locations, never the user's own; windows are drawn
    // off screen.
    QStandardPaths::setTestModeEnabled(true);
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    pelliqo::setUpLibraries();
    return RUN_ALL_TESTS();
}
