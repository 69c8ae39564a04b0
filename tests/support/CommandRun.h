#pragma once

#include <sstream>
#include <string>
#include <vector>

#include "Processes.h"
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

#ifdef PELLIQO_EXECUTABLE
// The program, as scripts hand files on: `cat input | pelliqo ARGUMENTS | cat > output`,
// the arguments naming standard input and output; failing where any of them fails; bounded
// at a minute.
inline ProgramRun runThroughPipes(const std::string& arguments, const std::string& input,
                                  const std::string& output) {
    return runWithin(
        {"/bin/bash", "-c", "set -o pipefail; cat \"$1\" | \"$2\" " + arguments + " | cat > \"$3\"",
         "bash", input, PELLIQO_EXECUTABLE, output},
        std::chrono::seconds(60), output + ".log");
}
#endif

}  // namespace pelliqo::test
