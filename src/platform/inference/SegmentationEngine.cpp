#include "platform/inference/SegmentationEngine.h"

#include "platform/inference/FrameNetworkEngine.h"
#include "platform/inference/RvmEngine.h"

namespace pelliqo {

namespace {

// MediaPipe selfie segmentation takes RGB in 0…1; ISNet centres it on 0.
const FrameNetwork selfieNetwork{"input", "mask", 0.0f};
const FrameNetwork subjectNetwork{"input", "output", -0.5f};

}  // namespace

Result<std::shared_ptr<SegmentationEngine>> makeSegmentationEngine(SegmentationLevel level,
                                                                   const ModelDirectory& models) {
    const char* name = level == SegmentationLevel::fast       ? "fast"
                       : level == SegmentationLevel::balanced ? "balanced"
                                                              : "accurate";
    auto found = models.verified(name);
    if (!found) return found.error();
    if (level == SegmentationLevel::accurate) return RvmEngine::load(found.value());
    return FrameNetworkEngine::load(found.value().front(), selfieNetwork);
}

Result<std::shared_ptr<SegmentationEngine>> makeSubjectEngine(const ModelDirectory& models) {
    auto found = models.verified("subject");
    if (!found) return found.error();
    return FrameNetworkEngine::load(found.value().front(), subjectNetwork);
}

bool subjectEngineOffered() {
    static const bool offered = [] {
        const auto models = ModelDirectory::open(ModelDirectory::defaultLocation());
        return models && models.value().verified("subject").ok();
    }();
    return offered;
}

}  // namespace pelliqo
