#include <gtest/gtest.h>

#include <QCoreApplication>

#include "platform/LibraryLogging.h"

int main(int argc, char** argv) {
    testing::InitGoogleTest(&argc, argv);
    QCoreApplication app(argc, argv);
    pelliqo::silenceLibraryLogging();
    return RUN_ALL_TESTS();
}
