#pragma once

#include <ostream>
#include <string>
#include <vector>

namespace pelliqo {

inline constexpr auto cameraUsage =
    "pelliqo camera [--camera ID|test] [--seconds N] [effect options]";

// Shows the camera with its new background as a camera other apps can pick, until the time
// is up or Ctrl-C; writes no files.
int runCamera(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);

}  // namespace pelliqo
