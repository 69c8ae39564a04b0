#pragma once

#include <cstdint>
#include <filesystem>
#include <opencv2/core.hpp>
#include <optional>
#include <span>

namespace pelliqo {

// Whether the bytes a file starts with are those of a HEIF picture (HEIC, as phones take
// photos), which libheif can read.
bool isHeif(std::span<const std::uint8_t> start);

// The primary picture of a HEIF file, or of its bytes, as BGRA with straight alpha (opaque
// without), turned upright as stored; nothing when it cannot be read or is larger than
// `maxPixels`.
std::optional<cv::Mat> decodeHeif(const std::filesystem::path& path, std::int64_t maxPixels);
std::optional<cv::Mat> decodeHeif(std::span<const std::uint8_t> bytes, std::int64_t maxPixels);

}  // namespace pelliqo
