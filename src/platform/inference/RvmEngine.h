#pragma once

#include <array>
#include <map>
#include <opencv2/dnn.hpp>
#include <vector>

#include "platform/inference/SegmentationEngine.h"

namespace pelliqo {

// Robust Video Matting: a recurrent network that carries four states from frame to frame.
// It comes converted at a few fixed sizes; each frame runs at the size whose aspect is
// nearest its own, and a change of size starts the states afresh.
class RvmEngine final : public SegmentationEngine {
  public:
    // Every size must load; a damaged file fails the engine.
    static Result<std::shared_ptr<SegmentationEngine>> load(const std::vector<ModelInfo>& sizes);

    std::optional<PixelBuffer> segment(const SegmentationInput& input) override;
    void resetState() override;

    // The converted size (width, height) used for a frame of this size.
    cv::Size sizeFor(int width, int height) const;

  private:
    struct Model {
        cv::Size size;
        cv::dnn::Net net;
    };
    explicit RvmEngine(std::vector<Model> models) : models_(std::move(models)) {}
    void startStates(cv::Size size);

    std::vector<Model> models_;
    cv::Size stateSize_;  // the size the states belong to; empty before a frame
    std::array<cv::Mat, 4> states_;
};

}  // namespace pelliqo
