#pragma once

#include <ostream>
#include <string>
#include <vector>

namespace pelliqo {

inline constexpr auto processUsage = "pelliqo process [effect options] INPUT OUTPUT";

// Exports one processed copy of a video file, showing progress on standard error; Ctrl-C
// cancels and removes the partial file.
int runProcess(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);

}  // namespace pelliqo
