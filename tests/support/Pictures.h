#pragma once

#include <opencv2/core.hpp>
#include <vector>

#include "platform/image/MatView.h"
#include "platform/image/PixelBuffer.h"

namespace pelliqo::test {

inline PixelBuffer bufferOf(const cv::Mat& pixels) {
    const PixelFormat format = pixels.type() == CV_8UC1 ? PixelFormat::gray8 : PixelFormat::bgra8;
    auto buffer = PixelBuffer::make(pixels.cols, pixels.rows, format).value();
    pixels.copyTo(matView(buffer));
    return buffer;
}

// Colours of known Y'CbCr values; alpha, which conversions ignore, varies.
inline const std::vector<cv::Vec4b> primariesAndGreys = {{255, 255, 255, 255}, {0, 0, 0, 255},
                                                         {0, 0, 255, 0},       {0, 255, 0, 255},
                                                         {255, 0, 0, 255},     {128, 128, 128, 9}};

inline cv::Mat blocksOf(const std::vector<cv::Vec4b>& colours, int side) {
    cv::Mat bgra(side, side * static_cast<int>(colours.size()), CV_8UC4);
    for (int i = 0; i < static_cast<int>(colours.size()); ++i)
        bgra(cv::Rect(side * i, 0, side, side)) = colours[i];
    return bgra;
}

inline PixelBuffer solidBuffer(int width, int height, cv::Scalar bgra) {
    auto buffer = PixelBuffer::make(width, height, PixelFormat::bgra8).value();
    matView(buffer).setTo(bgra);
    return buffer;
}

}  // namespace pelliqo::test
