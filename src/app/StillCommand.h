#pragma once

#include <ostream>
#include <string>
#include <vector>

namespace pelliqo {

inline constexpr auto stillUsage = "pelliqo still [effect options] INPUT OUTPUT.png";

// Segments one picture (unsmoothed), puts the chosen background behind the person and
// writes the result as PNG, with alpha when the background is transparent.
int runStill(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);

}  // namespace pelliqo
