#pragma once

#include <sstream>
#include <string>
#include <vector>

#include "app/CommandLine.h"

namespace pelliqo::test {

// One command-line run: its exit code and what it printed.
struct CommandRun {
    int code;
    std::string out;
    std::string err;
};

inline CommandRun runCommand(const std::vector<std::string>& args) {
    std::ostringstream out, err;
    const int code = runCommandLine(args, out, err);
    return {code, out.str(), err.str()};
}

}  // namespace pelliqo::test
