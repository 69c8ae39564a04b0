#pragma once

#include <opencv2/core.hpp>

#include "platform/image/PixelBuffer.h"

namespace pelliqo {

// The buffer's pixels as an OpenCV matrix, without copying: writes go to the buffer.
inline cv::Mat matView(const PixelBuffer& buffer) {
    int type = CV_8UC4;
    switch (buffer.format()) {
        case PixelFormat::bgra8:
            type = CV_8UC4;
            break;
        case PixelFormat::gray8:
            type = CV_8UC1;
            break;
        case PixelFormat::grayF32:
            type = CV_32FC1;
            break;
    }
    return cv::Mat(buffer.height(), buffer.width(), type, buffer.data(), buffer.bytesPerRow());
}

}  // namespace pelliqo
