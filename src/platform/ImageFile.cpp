#include "platform/ImageFile.h"

#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>

#include "platform/MatView.h"

namespace pelliqo {

std::optional<PixelBuffer> readImageFile(const std::filesystem::path& path) {
    cv::Mat decoded;
    try {
        // IMREAD_COLOR applies the EXIF orientation; alpha, if any, is dropped.
        decoded = cv::imread(path.string(), cv::IMREAD_COLOR);
    } catch (const cv::Exception&) {
        return std::nullopt;
    }
    if (decoded.empty()) return std::nullopt;
    auto frame = PixelBuffer::make(decoded.cols, decoded.rows, PixelFormat::bgra8);
    if (!frame) return std::nullopt;
    cv::Mat target = matView(*frame);
    cv::cvtColor(decoded, target, cv::COLOR_BGR2BGRA);
    return frame;
}

bool writePng(const std::filesystem::path& path, const cv::Mat& pixels) {
    try {
        return cv::imwrite(path.string(), pixels);
    } catch (const cv::Exception&) {
        return false;
    }
}

}  // namespace pelliqo
