#pragma once

#include <opencv2/core.hpp>

#include "platform/image/MatView.h"
#include "platform/image/PixelBuffer.h"

namespace pelliqo::test {

// A BGRA or grey matrix as a buffer.
inline PixelBuffer bufferOf(const cv::Mat& pixels) {
    const PixelFormat format = pixels.type() == CV_8UC1 ? PixelFormat::gray8 : PixelFormat::bgra8;
    auto buffer = PixelBuffer::make(pixels.cols, pixels.rows, format).value();
    pixels.copyTo(matView(buffer));
    return buffer;
}

// A frame buffer of one colour.
inline PixelBuffer solidBuffer(int width, int height, cv::Scalar bgra) {
    auto buffer = PixelBuffer::make(width, height, PixelFormat::bgra8).value();
    matView(buffer).setTo(bgra);
    return buffer;
}

}  // namespace pelliqo::test
