#pragma once

#include <array>
#include <map>
#include <opencv2/dnn.hpp>
#include <vector>

#include "platform/inference/SegmentationEngine.h"

namespace pelliqo {

// Robust Video Matting: a recurrent network that carries four states from frame to frame.
// It comes converted at a few fixed sizes, and the same shapes smaller for inputs that ask to
// be quick (a camera's); each frame runs at the size of its kind whose aspect is nearest its
// own, and a change of size starts the states afresh. Where the person has just left (when the
// caller gives the picture's motion at the network's size), the outline's state is made to
// forget them, or they would linger there as a ghost.
class RvmEngine final : public SegmentationEngine {
  public:
    // Every size must load; a damaged file fails the engine.
    static Result<std::shared_ptr<SegmentationEngine>> load(const std::vector<ModelInfo>& sizes);

    std::optional<PixelBuffer> segment(const SegmentationInput& input) override;
    void resetState() override;

    // The converted size (width, height) used for a frame of this size; among the quick
    // sizes when asked and there are any.
    cv::Size sizeFor(int width, int height, bool quick = false) const;

  private:
    struct Model {
        cv::Size size;
        bool quick = false;
        cv::dnn::Net net;
    };
    explicit RvmEngine(std::vector<Model> models) : models_(std::move(models)) {}
    void startStates(cv::Size size);
    void forgetWhereLeft(const cv::Mat& motion, cv::Size size);

    std::vector<Model> models_;
    cv::Size stateSize_;  // the size the states belong to; empty before a frame
    std::array<cv::Mat, 4> states_;
    cv::Mat lastMask_;  // the last frame's mask, at the network's size
};

}  // namespace pelliqo
