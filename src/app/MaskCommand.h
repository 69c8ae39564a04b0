#pragma once

#include <ostream>
#include <string>
#include <vector>

namespace pelliqo {

inline constexpr auto maskUsage =
    "pelliqo mask [--quality fast|balanced|accurate] [--subject-mask] INPUT OUTPUT.png";

// Segments one picture (unsmoothed) and writes the person mask (or with --subject-mask the
// mask of all foreground objects, the person mask where it finds none) at the picture's size
// as an 8-bit grey PNG.
int runMask(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);

}  // namespace pelliqo
