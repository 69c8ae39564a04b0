#pragma once

#include <sstream>
#include <string>
#include <vector>

#include "app/CommandLine.h"

namespace pelliqo::test {

struct CommandRun {
    int code;
    std::string out;
    std::string err;
};

// The thread sanitizer slows the live road five to fifteen times.
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
