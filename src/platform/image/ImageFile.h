#pragma once

#include <filesystem>
#include <opencv2/core.hpp>
#include <optional>
#include <vector>

#include "platform/image/Image.h"
#include "platform/image/PixelBuffer.h"

namespace pelliqo {

// Pictures above this many pixels are refused before they are decoded.
inline constexpr std::int64_t maxPicturePixels = 100'000'000;

// An image file (PNG, JPEG, …) as BGRA with straight alpha, turned upright by its stored
// orientation; nothing when it cannot be read or is too large.
std::optional<cv::Mat> decodeImageFile(const std::filesystem::path& path);

// The file as a BGRA frame (for still pictures given to the command line).
std::optional<PixelBuffer> readImageFile(const std::filesystem::path& path);

// The file as an image at the origin (for background pictures).
std::optional<Image> readPicture(const std::filesystem::path& path);

// A one-channel 8-bit, BGR or BGRA picture as the bytes of an image file of the kind its name
// ends in (".png", ".jpg", …); nothing when the name ends in no kind known, or on failure.
std::optional<std::vector<std::uint8_t>> encodeImageFile(const cv::Mat& pixels,
                                                         const std::filesystem::path& name);

}  // namespace pelliqo
