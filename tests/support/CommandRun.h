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

// The live commands' tests that count real seconds: the thread sanitizer slows the live road
// five to fifteen times, which shortens what they record (to nothing, at 720p in 2 s).
#if defined(__SANITIZE_THREAD__)
inline constexpr bool underThreadSanitizer = true;
#else
inline constexpr bool underThreadSanitizer = false;
#endif
inline constexpr const char* realSecondsSkipped =
    "measures a recording in real seconds, which the thread sanitizer's slowdown distorts";

inline CommandRun runCommand(const std::vector<std::string>& args) {
    std::ostringstream out, err;
    const int code = runCommandLine(args, out, err);
    return {code, out.str(), err.str()};
}

}  // namespace pelliqo::test
