#pragma once

#include <ostream>
#include <string>
#include <vector>

namespace pelliqo {

inline constexpr auto recordUsage =
    "pelliqo record [--camera ID|test] [--microphone ID|test|none] [--seconds N]\n"
    "       [--keep-original] [--mirror] [--folder DIR] [--virtual-camera] [effect options]";

// Records from a camera through the live pipeline until the time is up or Ctrl-C, then
// prints the saved files.
int runRecord(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);

}  // namespace pelliqo
