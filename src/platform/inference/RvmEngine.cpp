#include "platform/inference/RvmEngine.h"

#include <algorithm>
#include <cmath>

#include "platform/image/MatView.h"
#include "platform/inference/NetworkInput.h"
#include "platform/inference/VacatedArea.h"

namespace pelliqo {

namespace {

// Channels of the four recurrent states and how far each is scaled down from the input.
constexpr std::array<int, 4> stateChannels{16, 20, 40, 64};
constexpr std::array<int, 4> stateScale{2, 4, 8, 16};
const std::vector<cv::String> outputs{"pha", "r1o", "r2o", "r3o", "r4o"};
const std::array<cv::String, 4> stateInputs{"r1i", "r2i", "r3i", "r4i"};
// The state that is made to forget where the person left: the second, which carries the
// outline. Forgetting the others as well (what the person looks like) cost more accuracy on
// the edge benchmark than it took away of the ghost. How far the area is widened and how hard
// it forgets were measured there too.
constexpr std::size_t outlineState = 1;
constexpr int vacatedWidening = 5;
constexpr float forgetting = 1.25f;

bool allFinite(const cv::Mat& m) {
    return cv::checkRange(m, true, nullptr, -1e6, 1e6);
}

}  // namespace

Result<std::shared_ptr<SegmentationEngine>> RvmEngine::load(const std::vector<ModelInfo>& sizes) {
    std::vector<Model> models;
    for (const ModelInfo& info : sizes) {
        try {
            cv::dnn::Net net = cv::dnn::readNetFromONNX(info.path.string());
            if (net.empty()) return damagedModel(info.path);
            net.setPreferableBackend(cv::dnn::DNN_BACKEND_OPENCV);
            const bool quick = info.name.find("-quick-") != std::string::npos;
            models.push_back({cv::Size(info.inputWidth, info.inputHeight), quick, std::move(net)});
        } catch (const cv::Exception&) {
            return damagedModel(info.path);
        }
    }
    return std::shared_ptr<SegmentationEngine>(new RvmEngine(std::move(models)));
}

cv::Size RvmEngine::sizeFor(int width, int height, bool quick) const {
    const auto distance = [aspect = std::log(static_cast<double>(width) / height)](cv::Size s) {
        return std::abs(std::log(static_cast<double>(s.width) / s.height) - aspect);
    };
    const Model* best = nullptr;
    for (const Model& m : models_) {
        if (m.quick != quick) continue;
        if (best == nullptr || distance(m.size) < distance(best->size)) best = &m;
    }
    // Models made before the quick sizes existed have none: the others serve.
    return best != nullptr ? best->size : sizeFor(width, height, !quick);
}

void RvmEngine::resetState() {
    stateSize_ = cv::Size();
}

void RvmEngine::startStates(cv::Size size) {
    for (std::size_t i = 0; i < states_.size(); ++i) {
        const int shape[] = {1, stateChannels[i], size.height / stateScale[i],
                             size.width / stateScale[i]};
        states_[i] = cv::Mat(4, shape, CV_32F, cv::Scalar(0));
    }
    stateSize_ = size;
    lastMask_.release();
}

void RvmEngine::forgetWhereLeft(const cv::Mat& motion, cv::Size size) {
    if (motion.size() != size) return;
    forgetWhereVacated(states_[outlineState], vacatedArea(motion, lastMask_), vacatedWidening,
                       forgetting);
}

std::optional<PixelBuffer> RvmEngine::segment(const SegmentationInput& input) {
    if (input.pixels.empty() || input.pixels.type() != CV_8UC4) return std::nullopt;
    const cv::Size size = sizeFor(input.pixels.cols, input.pixels.rows, input.quick);
    if (size != stateSize_) startStates(size);
    auto& net = std::find_if(models_.begin(), models_.end(), [&](const Model& m) {
                    return m.size == size;
                })->net;
    try {
        forgetWhereLeft(input.motion, size);
        net.setInput(networkInput(input, size.width, size.height), "src");
        for (std::size_t i = 0; i < states_.size(); ++i) net.setInput(states_[i], stateInputs[i]);
        std::vector<cv::Mat> results;
        net.forward(results, outputs);
        for (std::size_t i = 0; i < states_.size(); ++i) states_[i] = results[i + 1].clone();
        // A state gone bad would spoil every later frame; start again from the next one.
        if (!std::all_of(states_.begin(), states_.end(), allFinite)) resetState();
        const cv::Mat& alpha = results[0];
        if (alpha.total() != static_cast<std::size_t>(size.area())) return std::nullopt;
        auto mask = maskFromOutput(alpha.ptr<float>(), size.width, size.height);
        if (mask) lastMask_ = matView(*mask).clone();
        return mask;
    } catch (const cv::Exception&) {
        resetState();
        return std::nullopt;
    }
}

}  // namespace pelliqo
