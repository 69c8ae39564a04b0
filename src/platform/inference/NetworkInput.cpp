#include "platform/inference/NetworkInput.h"

#include <algorithm>
#include <cmath>
#include <opencv2/imgproc.hpp>

namespace pelliqo {

cv::Mat networkInput(const SegmentationInput& input, int width, int height, float offset) {
    const cv::Size size(width, height);
    cv::Mat small = input.scaled ? input.scaled(size) : cv::Mat();
    if (small.size() != size || small.type() != CV_8UC4) {
        cv::resize(input.pixels, small, size, 0, 0, cv::INTER_LINEAR);
    }
    const int sizes[] = {1, 3, height, width};
    cv::Mat blob(4, sizes, CV_32F);
    const std::size_t plane = static_cast<std::size_t>(width) * height;
    auto* red = blob.ptr<float>();
    float* green = red + plane;
    float* blue = green + plane;
    constexpr float scale = 1.0f / 255.0f;
    for (int y = 0; y < height; ++y) {
        const auto* p = small.ptr<std::uint8_t>(y);
        for (int x = 0; x < width; ++x, p += 4) {
            const std::size_t i = static_cast<std::size_t>(y) * width + x;
            red[i] = p[2] * scale + offset;
            green[i] = p[1] * scale + offset;
            blue[i] = p[0] * scale + offset;
        }
    }
    return blob;
}

std::optional<PixelBuffer> maskFromOutput(const float* values, int width, int height) {
    auto mask = PixelBuffer::make(width, height, PixelFormat::gray8);
    if (!mask) return std::nullopt;
    for (int y = 0; y < height; ++y) {
        std::uint8_t* row = mask->row(y);
        for (int x = 0; x < width; ++x) {
            const float v = values[static_cast<std::size_t>(y) * width + x];
            const float clamped = std::isnan(v) ? 0.0f : std::clamp(v, 0.0f, 1.0f);
            row[x] = static_cast<std::uint8_t>(clamped * 255.0f + 0.5f);
        }
    }
    return mask;
}

}  // namespace pelliqo
