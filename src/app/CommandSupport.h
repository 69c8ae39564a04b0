#pragma once

#include <QCoreApplication>
#include <memory>
#include <ostream>
#include <string>

#include "engine/EffectSettings.h"
#include "errors/Result.h"
#include "platform/Image.h"
#include "platform/PixelBuffer.h"
#include "platform/SegmentationEngine.h"

namespace pelliqo {

// The installed engine for a quality, or the sentence saying which model file is missing
// or damaged and how to repair it.
Result<std::shared_ptr<SegmentationEngine>> installedEngine(QualityChoice quality);

// Whether the models these settings segment with are installed; false after saying which
// is missing and how to repair it. Settings that need no mask need no models. Without this
// check every frame would pass through unprocessed.
bool modelsReady(const EffectSettings& settings, std::ostream& err);

// The application object the queues and timers of a long command need, unless one already
// exists (then nothing).
std::unique_ptr<QCoreApplication> commandApplication();

// The picture file as a frame, or nothing after saying so on err.
std::optional<PixelBuffer> readInputPicture(const std::string& path, std::ostream& err);

// One unsmoothed segmentation with the installed models: the mask, or none when the engine
// found nothing; an error when the models are missing or damaged.
Result<std::optional<Image>> segmentPicture(const PixelBuffer& picture,
                                            const EffectSettings& settings);

// Prints "pelliqo COMMAND: problem" and the command's usage; gives the usage exit code.
int usageError(std::ostream& err, const std::string& command, const std::string& problem,
               const char* usage);

}  // namespace pelliqo
