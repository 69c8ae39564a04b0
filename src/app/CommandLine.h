#pragma once

#include <ostream>
#include <string>
#include <vector>

namespace pelliqo {

// Exit codes of the command line; scripts rely on them.
namespace exitCode {
inline constexpr int ok = 0;
inline constexpr int failure = 1;
inline constexpr int usage = 2;
inline constexpr int noPerson = 3;
}  // namespace exitCode

// Runs one command-line invocation (arguments without the program name) and gives the
// exit code. Normal output goes to out, messages and usage errors to err.
int runCommandLine(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);

// Whether the command ended leaving work behind that nothing can stop (a read or write held
// up by a disk that stopped answering); the program must then end without waiting for it.
bool commandLeftWorkRunning();

}  // namespace pelliqo
