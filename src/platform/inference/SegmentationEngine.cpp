#include "platform/inference/SegmentationEngine.h"

#include "platform/inference/MediaPipeEngine.h"
#include "platform/inference/RvmEngine.h"

namespace pelliqo {

Result<std::shared_ptr<SegmentationEngine>> makeSegmentationEngine(SegmentationLevel level,
                                                                   const ModelDirectory& models) {
    const char* name = level == SegmentationLevel::fast       ? "fast"
                       : level == SegmentationLevel::balanced ? "balanced"
                                                              : "accurate";
    auto found = models.verified(name);
    if (!found) return found.error();
    if (level == SegmentationLevel::accurate) return RvmEngine::load(found.value());
    return MediaPipeEngine::load(found.value().front());
}

}  // namespace pelliqo
