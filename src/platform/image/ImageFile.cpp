#include "platform/image/ImageFile.h"

#include <algorithm>
#include <array>
#include <cstdlib>
#include <fstream>
#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>
#include <string>

#include "platform/image/HeifImage.h"
#include "platform/image/MatView.h"

namespace pelliqo {

namespace {

// OpenCV reads its pixel limit from the environment once, at its first decode; it then
// refuses larger images after reading only their header.
void limitDecodedSize() {
    static const bool done = [] {
        ::setenv("OPENCV_IO_MAX_IMAGE_PIXELS", std::to_string(maxPicturePixels).c_str(), 1);
        return true;
    }();
    (void)done;
}

// A file, or what came down a pipe: that can be read only once, so it is read whole first.
struct Source {
    std::filesystem::path path;
    std::vector<std::uint8_t> piped;
};

std::optional<Source> sourceOf(const std::filesystem::path& path) {
    std::error_code error;
    const auto status = std::filesystem::status(path, error);
    if (std::filesystem::is_regular_file(status)) return Source{path, {}};
    if (!std::filesystem::is_fifo(status)) return std::nullopt;
    constexpr std::size_t mostBytes = std::size_t{1} << 30;  // far beyond any picture we take
    std::ifstream in(path, std::ios::binary);
    Source source{path, {}};
    std::array<char, 1 << 16> chunk{};
    while (in.read(chunk.data(), chunk.size()) || in.gcount() > 0) {
        source.piped.insert(source.piped.end(), chunk.begin(), chunk.begin() + in.gcount());
        if (source.piped.size() > mostBytes) return std::nullopt;
    }
    if (source.piped.empty()) return std::nullopt;
    return source;
}

// Photos as phones take them (HEIC), which OpenCV does not read, known by how they start.
bool isHeifSource(const Source& source) {
    std::array<std::uint8_t, 64> start{};
    std::size_t size = std::min(start.size(), source.piped.size());
    std::copy_n(source.piped.begin(), size, start.begin());
    if (source.piped.empty()) {
        std::ifstream in(source.path, std::ios::binary);
        in.read(reinterpret_cast<char*>(start.data()), start.size());
        size = static_cast<std::size_t>(in.gcount());
    }
    return isHeif(std::span(start.data(), size));
}

cv::Mat read(const Source& source, int flags) {
    try {
        if (!source.piped.empty()) return cv::imdecode(source.piped, flags);
        return cv::imread(source.path.string(), flags);
    } catch (const cv::Exception&) {
        return {};
    }
}

}  // namespace

std::optional<cv::Mat> decodeImageFile(const std::filesystem::path& path) {
    limitDecodedSize();
    const auto source = sourceOf(path);
    if (!source) return std::nullopt;
    if (isHeifSource(*source)) {
        return source->piped.empty() ? decodeHeif(source->path, maxPicturePixels)
                                     : decodeHeif(source->piped, maxPicturePixels);
    }
    // Pictures with transparency keep it; IMREAD_UNCHANGED skips the stored orientation,
    // which such files (PNG, WebP) do not normally carry.
    cv::Mat any = read(*source, cv::IMREAD_UNCHANGED);
    if (any.empty()) return std::nullopt;
    if (any.channels() == 4) {
        if (any.depth() == CV_16U) any.convertTo(any, CV_8U, 1.0 / 257);
        if (any.depth() != CV_8U) return std::nullopt;
        return any;
    }
    // Everything else is read as colour, turned upright by its EXIF orientation.
    const cv::Mat colour = read(*source, cv::IMREAD_COLOR);
    if (colour.empty()) return std::nullopt;
    cv::Mat bgra;
    cv::cvtColor(colour, bgra, cv::COLOR_BGR2BGRA);
    return bgra;
}

std::optional<PixelBuffer> readImageFile(const std::filesystem::path& path) {
    const auto decoded = decodeImageFile(path);
    if (!decoded) return std::nullopt;
    auto frame = PixelBuffer::make(decoded->cols, decoded->rows, PixelFormat::bgra8);
    if (!frame) return std::nullopt;
    cv::Mat target = matView(*frame);
    decoded->copyTo(target);
    return frame;
}

std::optional<Image> readPicture(const std::filesystem::path& path) {
    auto decoded = decodeImageFile(path);
    if (!decoded) return std::nullopt;
    return Image::fromPixels(std::move(*decoded));
}

std::optional<std::vector<std::uint8_t>> encodeImageFile(const cv::Mat& pixels,
                                                         const std::filesystem::path& name) {
    std::vector<std::uint8_t> bytes;
    try {
        if (!cv::imencode(name.extension().string(), pixels, bytes)) return std::nullopt;
    } catch (const cv::Exception&) {
        return std::nullopt;
    }
    return bytes;
}

}  // namespace pelliqo
