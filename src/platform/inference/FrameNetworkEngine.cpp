#include "platform/inference/FrameNetworkEngine.h"

#include "platform/inference/NetworkInput.h"

namespace pelliqo {

Result<std::shared_ptr<SegmentationEngine>> FrameNetworkEngine::load(const ModelInfo& model,
                                                                     FrameNetwork network) {
    try {
        cv::dnn::Net net = cv::dnn::readNetFromONNX(model.path.string());
        if (net.empty()) return damagedModel(model.path);
        net.setPreferableBackend(cv::dnn::DNN_BACKEND_OPENCV);
        return std::shared_ptr<SegmentationEngine>(new FrameNetworkEngine(
            std::move(net), std::move(network), model.inputWidth, model.inputHeight));
    } catch (const cv::Exception&) {
        return damagedModel(model.path);
    }
}

std::optional<PixelBuffer> FrameNetworkEngine::segment(const SegmentationInput& input) {
    if (input.pixels.empty() || input.pixels.type() != CV_8UC4) return std::nullopt;
    try {
        net_.setInput(networkInput(input, width_, height_, network_.inputOffset), network_.input);
        const cv::Mat out = net_.forward(network_.output);
        if (out.total() != static_cast<std::size_t>(width_) * height_) return std::nullopt;
        return maskFromOutput(out.ptr<float>(), width_, height_);
    } catch (const cv::Exception&) {
        return std::nullopt;
    }
}

}  // namespace pelliqo
