#pragma once

#include <opencv2/core.hpp>

#include "platform/image/MatView.h"
#include "platform/image/PixelBuffer.h"

namespace pelliqo::test {

// A BGRA matrix as a frame buffer.
inline PixelBuffer bufferOf(const cv::Mat& bgra) {
    auto buffer = PixelBuffer::make(bgra.cols, bgra.rows, PixelFormat::bgra8).value();
    bgra.copyTo(matView(buffer));
    return buffer;
}

// A frame buffer of one colour.
inline PixelBuffer solidBuffer(int width, int height, cv::Scalar bgra) {
    auto buffer = PixelBuffer::make(width, height, PixelFormat::bgra8).value();
    matView(buffer).setTo(bgra);
    return buffer;
}

}  // namespace pelliqo::test
