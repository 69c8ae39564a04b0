#include "platform/image/HeifImage.h"

#include <libheif/heif.h>

#include <functional>
#include <memory>
#include <opencv2/imgproc.hpp>

namespace pelliqo {

namespace {

struct Released {
    void operator()(heif_context* c) const { heif_context_free(c); }
    void operator()(heif_image_handle* h) const { heif_image_handle_release(h); }
    void operator()(heif_image* i) const { heif_image_release(i); }
};
template <class T>
using Owned = std::unique_ptr<T, Released>;

// The primary picture of a context that has read its file.
std::optional<cv::Mat> primaryPicture(heif_context* context, std::int64_t maxPixels) {
    heif_image_handle* rawHandle = nullptr;
    if (heif_context_get_primary_image_handle(context, &rawHandle).code != heif_error_Ok)
        return std::nullopt;
    const Owned<heif_image_handle> handle(rawHandle);
    const std::int64_t pixels = std::int64_t{heif_image_handle_get_width(rawHandle)} *
                                heif_image_handle_get_height(rawHandle);
    if (pixels <= 0 || pixels > maxPixels) return std::nullopt;
    const bool alpha = heif_image_handle_has_alpha_channel(rawHandle) != 0;
    // Decoded with its stored rotation and mirroring applied, at 8 bits a colour.
    heif_image* rawImage = nullptr;
    if (heif_decode_image(rawHandle, &rawImage, heif_colorspace_RGB,
                          alpha ? heif_chroma_interleaved_RGBA : heif_chroma_interleaved_RGB,
                          nullptr)
            .code != heif_error_Ok) {
        return std::nullopt;
    }
    const Owned<heif_image> image(rawImage);
    int stride = 0;
    const std::uint8_t* data =
        heif_image_get_plane_readonly(rawImage, heif_channel_interleaved, &stride);
    const int width = heif_image_get_width(rawImage, heif_channel_interleaved);
    const int height = heif_image_get_height(rawImage, heif_channel_interleaved);
    if (data == nullptr || width <= 0 || height <= 0) return std::nullopt;
    const cv::Mat rgb(height, width, alpha ? CV_8UC4 : CV_8UC3, const_cast<std::uint8_t*>(data),
                      static_cast<std::size_t>(stride));
    cv::Mat bgra;
    cv::cvtColor(rgb, bgra, alpha ? cv::COLOR_RGBA2BGRA : cv::COLOR_RGB2BGRA);
    if (alpha && heif_image_handle_is_premultiplied_alpha(rawHandle)) {
        // Straight alpha, as the rest of the program takes it.
        bgra.forEach<cv::Vec4b>([](cv::Vec4b& p, const int*) {
            if (p[3] == 0 || p[3] == 255) return;
            for (int c = 0; c < 3; ++c) p[c] = cv::saturate_cast<std::uint8_t>(p[c] * 255.0 / p[3]);
        });
    }
    return bgra;
}

std::optional<cv::Mat> decode(const std::function<heif_error(heif_context*)>& read,
                              std::int64_t maxPixels) {
    const Owned<heif_context> context(heif_context_alloc());
    if (!context || read(context.get()).code != heif_error_Ok) return std::nullopt;
    return primaryPicture(context.get(), maxPixels);
}

}  // namespace

bool isHeif(std::span<const std::uint8_t> start) {
    return heif_check_filetype(start.data(), static_cast<int>(start.size())) ==
           heif_filetype_yes_supported;
}

std::optional<cv::Mat> decodeHeif(const std::filesystem::path& path, std::int64_t maxPixels) {
    return decode(
        [&](heif_context* c) { return heif_context_read_from_file(c, path.c_str(), nullptr); },
        maxPixels);
}

std::optional<cv::Mat> decodeHeif(std::span<const std::uint8_t> bytes, std::int64_t maxPixels) {
    return decode(
        [&](heif_context* c) {
            return heif_context_read_from_memory_without_copy(c, bytes.data(), bytes.size(),
                                                              nullptr);
        },
        maxPixels);
}

}  // namespace pelliqo
