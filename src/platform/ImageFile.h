#pragma once

#include <filesystem>
#include <opencv2/core.hpp>
#include <optional>

#include "platform/PixelBuffer.h"

namespace pelliqo {

// An image file (PNG, JPEG, …) as a BGRA frame, turned upright by its stored orientation;
// nothing when it cannot be read.
std::optional<PixelBuffer> readImageFile(const std::filesystem::path& path);

// Writes a one-channel 8-bit or four-channel BGRA picture as PNG; false on failure.
bool writePng(const std::filesystem::path& path, const cv::Mat& pixels);

}  // namespace pelliqo
