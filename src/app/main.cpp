#include <csignal>
#include <cstdlib>
#include <iostream>

#include "app/CommandLine.h"
#include "platform/system/Interrupt.h"
#include "platform/system/LibrarySetup.h"
#include "platform/system/Memory.h"
#include "ui/ContentView.h"

namespace {

// Whether a window can be shown: a desktop session, or a Qt platform chosen on purpose.
bool haveDisplay() {
    for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"}) {
        const char* value = std::getenv(name);
        if (value != nullptr && *value != '\0') return true;
    }
    return false;
}

}  // namespace

int main(int argc, char** argv) {
    pelliqo::setUpLibraries();
    pelliqo::keepFrameBuffersInProcess();
    if (argc == 1) {
        if (haveDisplay()) return pelliqo::runWindow(argc, argv);
        std::cerr << "There is no display to show the window on. \"pelliqo help\" lists the "
                     "commands that work without one.\n";
        return pelliqo::exitCode::failure;
    }
    const std::vector<std::string> args(argv + 1, argv + argc);
    const int code = pelliqo::runCommandLine(args, std::cout, std::cerr);
    if (pelliqo::InterruptGuard::readerWentAway()) {
        // Its files finished, it ends as a closed pipe ends a program, for scripts to see.
        std::cout.flush();
        std::cerr.flush();
        std::raise(SIGPIPE);
    }
    if (pelliqo::commandLeftWorkRunning()) {
        // An ordinary end would wait on it for ever.
        std::cout.flush();
        std::cerr.flush();
        std::_Exit(code);
    }
    return code;
}
