#include "platform/image/Motion.h"

#include <opencv2/video/tracking.hpp>

namespace pelliqo {

Motion::Motion() = default;
Motion::~Motion() = default;
Motion::Motion(Motion&&) noexcept = default;
Motion& Motion::operator=(Motion&&) noexcept = default;

cv::Mat Motion::since(const cv::Mat& last, const cv::Mat& picture) {
    if (!flow_) flow_ = cv::DISOpticalFlow::create(cv::DISOpticalFlow::PRESET_ULTRAFAST);
    cv::Mat flow;
    flow_->calc(picture, last, flow);
    return flow;
}

void addPositions(cv::Mat& displacements) {
    for (int y = 0; y < displacements.rows; ++y) {
        auto* row = displacements.ptr<cv::Point2f>(y);
        for (int x = 0; x < displacements.cols; ++x)
            row[x] += cv::Point2f(static_cast<float>(x), static_cast<float>(y));
    }
}

}  // namespace pelliqo
