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

cv::Mat positionsFrom(const cv::Mat& displacements) {
    cv::Mat positions = displacements.clone();
    for (int y = 0; y < positions.rows; ++y) {
        auto* row = positions.ptr<cv::Point2f>(y);
        for (int x = 0; x < positions.cols; ++x)
            row[x] += cv::Point2f(static_cast<float>(x), static_cast<float>(y));
    }
    return positions;
}

}  // namespace pelliqo
