#include <iostream>

#include "app/CommandLine.h"
#include "platform/LibraryLogging.h"
#include "platform/Memory.h"

int main(int argc, char** argv) {
    pelliqo::silenceLibraryLogging();
    pelliqo::keepFrameBuffersInProcess();
    const std::vector<std::string> args(argv + 1, argv + argc);
    return pelliqo::runCommandLine(args, std::cout, std::cerr);
}
