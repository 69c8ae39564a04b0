#pragma once

#include <opencv2/dnn.hpp>

#include "platform/inference/SegmentationEngine.h"

namespace pelliqo {

// MediaPipe selfie segmentation (landscape 256×144 or general 256×256): one frame at a time.
class MediaPipeEngine final : public SegmentationEngine {
  public:
    static Result<std::shared_ptr<SegmentationEngine>> load(const ModelInfo& model);

    std::optional<PixelBuffer> segment(const SegmentationInput& input) override;

  private:
    MediaPipeEngine(cv::dnn::Net net, int width, int height)
        : net_(std::move(net)), width_(width), height_(height) {}

    cv::dnn::Net net_;
    int width_;
    int height_;
};

}  // namespace pelliqo
