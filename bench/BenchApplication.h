#pragma once

#include <QCoreApplication>

#include "platform/system/LibrarySetup.h"
#include "platform/system/Memory.h"

namespace pelliqo {

// What a benchmark of a whole pipeline needs, as the program has it: one application object
// for the main-thread queue, frame buffers kept in the process, quiet libraries.
inline void prepareBenchApplication() {
    static int argc = 1;
    static char name[] = "bench";
    static char* argv[] = {name, nullptr};
    static QCoreApplication app(argc, argv);
    keepFrameBuffersInProcess();
    setUpLibraries();
}

}  // namespace pelliqo
