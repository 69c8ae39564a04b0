#include <iostream>

#include "app/CommandLine.h"

int main(int argc, char** argv) {
    const std::vector<std::string> args(argv + 1, argv + argc);
    return pelliqo::runCommandLine(args, std::cout, std::cerr);
}
