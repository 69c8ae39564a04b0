#pragma once

#include <memory>
#include <ostream>
#include <string>

#include "engine/EffectSettings.h"
#include "errors/Result.h"
#include "platform/SegmentationEngine.h"

namespace pelliqo {

// The installed engine for a quality, or the sentence saying which model file is missing
// or damaged and how to repair it.
Result<std::shared_ptr<SegmentationEngine>> installedEngine(QualityChoice quality);

// Prints "pelliqo COMMAND: problem" and the command's usage; gives the usage exit code.
int usageError(std::ostream& err, const std::string& command, const std::string& problem,
               const char* usage);

}  // namespace pelliqo
