#pragma once

#include <opencv2/dnn.hpp>
#include <string>

#include "platform/inference/SegmentationEngine.h"

namespace pelliqo {

// How a one-frame network is fed and read.
struct FrameNetwork {
    std::string input;   // takes [1, 3, H, W] RGB as value / 255 + inputOffset
    std::string output;  // gives [1, 1, H, W] in 0…1
    float inputOffset = 0.0f;
};

// A network that segments each frame on its own, with no memory of earlier ones: MediaPipe
// selfie segmentation (256×144 or 256×256) and the subject network (ISNet).
class FrameNetworkEngine final : public SegmentationEngine {
  public:
    static Result<std::shared_ptr<SegmentationEngine>> load(const ModelInfo& model,
                                                            FrameNetwork network);

    std::optional<PixelBuffer> segment(const SegmentationInput& input) override;

  private:
    FrameNetworkEngine(cv::dnn::Net net, FrameNetwork network, int width, int height)
        : net_(std::move(net)), network_(std::move(network)), width_(width), height_(height) {}

    cv::dnn::Net net_;
    FrameNetwork network_;
    int width_;
    int height_;
};

}  // namespace pelliqo
