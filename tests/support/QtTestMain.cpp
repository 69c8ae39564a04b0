#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QStandardPaths>

#include "platform/system/LibrarySetup.h"

int main(int argc, char** argv) {
    testing::InitGoogleTest(&argc, argv);
    // Settings and folders go to test locations, never the user's own.
    QStandardPaths::setTestModeEnabled(true);
    QCoreApplication app(argc, argv);
    pelliqo::setUpLibraries();
    return RUN_ALL_TESTS();
}
