#pragma once

#include <opencv2/core.hpp>
#include <vector>

#include "platform/image/MatView.h"
#include "platform/image/PixelBuffer.h"

namespace pelliqo {

// An opaque BGRA frame of noise: the work per frame does not depend on the content.
inline PixelBuffer noiseFrame(int width, int height) {
    auto buffer = *PixelBuffer::make(width, height, PixelFormat::bgra8);
    cv::Mat pixels = matView(buffer);
    cv::randu(pixels, cv::Scalar::all(0), cv::Scalar::all(255));
    const cv::Mat opaque(height, width, CV_8U, cv::Scalar(255));
    cv::mixChannels(opaque, pixels, std::vector<int>{0, 3});
    return buffer;
}

}  // namespace pelliqo
