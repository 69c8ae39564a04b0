#pragma once

#include <ostream>
#include <string>
#include <vector>

#include "engine/EffectSettings.h"

namespace pelliqo {

inline constexpr auto processUsage = "pelliqo process [effect options] INPUT OUTPUT";

// The window's defaults for videos, without the subject mask: scripts written before it
// keep their person mask, and --subject-mask asks for it.
EffectSettings processCommandDefaults();

// Exports one processed copy of a video file, showing progress on standard error; Ctrl-C
// cancels and removes the partial file.
int runProcess(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);

}  // namespace pelliqo
