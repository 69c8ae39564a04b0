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

}  // namespace pelliqo::test
