#include "engine/Compositor.h"

#include <algorithm>
#include <cmath>
#include <opencv2/imgproc.hpp>

#include "engine/GuidedFilter.h"
#include "platform/image/Blend.h"
#include "platform/image/ImageFile.h"
#include "platform/image/Rendering.h"

namespace pelliqo {

namespace {
constexpr double maskReferenceWidth = 640;
constexpr double frameReferenceWidth = 1280;
constexpr double deadZone = 0.01;

// Softness hides detail finer than itself: the edge is made at the largest halving of the
// frame where the blur still spans 1.5 pixels and scaled up after, for a fraction of the
// cost of blurring the full frame.
int softnessReduction(double frameRadius, double frameSide) {
    int reduction = 1;
    while (frameRadius / (2 * reduction) >= 1.5 && 2 * reduction <= frameSide) reduction *= 2;
    return reduction;
}
}  // namespace

double Compositor::edgeScale(double maskWidth) {
    return std::max(maskWidth / maskReferenceWidth, 0.25);
}

std::optional<double> Compositor::shiftRadius(double edgeShift, double scale) {
    if (!(std::abs(edgeShift) > deadZone)) return std::nullopt;
    return std::max(scale * std::abs(edgeShift), 1.0);
}

std::optional<double> Compositor::softnessRadius(double edgeSoftness, double scale) {
    if (!(edgeSoftness > deadZone)) return std::nullopt;
    return scale * edgeSoftness;
}

double Compositor::blurRadius(double blurStrength, double frameWidth) {
    return std::max(blurStrength * frameWidth / frameReferenceWidth, 1.0);
}

std::optional<Compositor::Placement> Compositor::picturePlacement(double pictureWidth,
                                                                  double pictureHeight,
                                                                  double frameWidth,
                                                                  double frameHeight,
                                                                  PictureFit fit) {
    if (!(pictureWidth > 0) || !(pictureHeight > 0)) return std::nullopt;
    const double sx = frameWidth / pictureWidth;
    const double sy = frameHeight / pictureHeight;
    const double scale = fit == PictureFit::fill ? std::max(sx, sy) : std::min(sx, sy);
    return Placement{scale, (frameWidth - pictureWidth * scale) * 0.5,
                     (frameHeight - pictureHeight * scale) * 0.5};
}

namespace {

Rect extentOf(const cv::Mat& picture) {
    return {0, 0, static_cast<double>(picture.cols), static_cast<double>(picture.rows)};
}

// The shaped mask as the picture, stretched over the frame.
Image maskView(const Image& shaped, const Rect& extent) {
    const Rect own = shaped.extent();
    return shaped.scaled(extent.width / own.width, extent.height / own.height).cropped(extent);
}

}  // namespace

Image Compositor::compose(const Image& frame, const std::optional<Image>& mask,
                          const EffectSettings& settings, const std::optional<PixelBuffer>& into) {
    const Image upright = frame.movedToOrigin();
    const Rect extent = upright.extent();
    if (!mask || (settings.kind == BackgroundKind::none && !settings.showMask)) return upright;
    const Image shaped = shapedMask(*mask, upright.pixels(), settings);
    if (settings.showMask) return maskView(shaped, extent);
    const Image behind = background(settings, extent, upright);
    return upright.blendedStretched(behind, shaped, into).cropped(extent);
}

Image Compositor::shapedMask(const Image& mask, const cv::Mat& picture,
                             const EffectSettings& settings) const {
    const Rect frameExtent = extentOf(picture);
    Image shaped = mask.movedToOrigin();
    const Rect own = shaped.extent();
    if (!(own.width > 0) || !(own.height > 0)) return Image::fromPixels(cv::Mat1f(1, 1, 0.0f));
    const double scale = edgeScale(own.width);
    // Grow/shrink works in the mask's own pixels: a disc of frame pixels would cost its
    // area per pixel, and the guided scaling keeps a moved edge where the picture is flat.
    if (const auto radius = shiftRadius(settings.edgeShift, scale)) {
        const Image clamped = shaped.clampedToExtent();
        shaped = (settings.edgeShift > 0 ? clamped.morphologyMaximum(*radius)
                                         : clamped.morphologyMinimum(*radius))
                     .cropped(own);
    }
    const auto soft = softnessRadius(settings.edgeSoftness, scale);
    const double radius = soft ? *soft * frameExtent.width / own.width : 0;  // frame pixels
    const int reduction =
        softnessReduction(radius, std::max(frameExtent.width, frameExtent.height));
    const cv::Size size(std::max(1, static_cast<int>(std::lround(frameExtent.width / reduction))),
                        std::max(1, static_cast<int>(std::lround(frameExtent.height / reduction))));
    Image scaled = guidedScaled(shaped, picture, size);
    // Softness comes after the edge has found the picture's, or the filter would sharpen it
    // again; its radius stays measured in mask pixels.
    if (soft) {
        scaled =
            scaled.clampedToExtent().gaussianBlurred(radius / reduction).cropped(scaled.extent());
    }
    // Contrast before scaling up: the same straight line between the samples wherever it
    // does not clip, on a fraction of the pixels.
    return scaled.withContrast(maskContrast);
}

Image Compositor::guidedScaled(const Image& mask, const cv::Mat& picture, cv::Size size) const {
    const Rect own = mask.extent();
    // A mask as large as the picture it goes to has no detail to gain, and the filter would
    // only soften it where the picture is flat.
    const bool detailed = own.width >= size.width && own.height >= size.height;
    const bool luma = picture.type() == CV_8UC1;
    if (detailed || (!luma && picture.type() != CV_8UC4) || mask.pixels().type() != CV_32FC1) {
        return mask.scaled(size.width / own.width, size.height / own.height);
    }
    GuidedFilter filter;
    if (luma) {
        // Limited-range luma is a grey picture squeezed into 219 of 255 levels; a threshold
        // squeezed alike finds the same edges.
        constexpr double squeeze = 219.0 / 255.0;
        filter.epsilon *= squeeze * squeeze;
        return Image::fromPixels(filter.upscaled(mask.pixels(), picture, size));
    }
    cv::Mat grey;
    cv::cvtColor(picture, grey, cv::COLOR_BGRA2GRAY);
    return Image::fromPixels(filter.upscaled(mask.pixels(), grey, size));
}

Image Compositor::background(const EffectSettings& settings, const Rect& frameExtent,
                             const Image& frame) {
    switch (settings.kind) {
        case BackgroundKind::none:
            return frame;
        case BackgroundKind::blur:
            return frame.clampedToExtent()
                .gaussianBlurred(blurRadius(settings.blurStrength, frameExtent.width))
                .cropped(frameExtent);
        // Colours stay infinite: the blend covers only the frame anyway, and a uniform
        // background needs no pixels of its own.
        case BackgroundKind::color:
            return Image::color(settings.red, settings.green, settings.blue);
        case BackgroundKind::picture:
            return pictureBackground(settings, frameExtent);
        case BackgroundKind::transparent:
            return Image::color(0, 0, 0, 0);
    }
    return frame;
}

Image Compositor::pictureBackground(const EffectSettings& settings, const Rect& frameExtent) {
    const auto base = [&] { return Image::color(0, 0, 0).cropped(frameExtent); };
    if (settings.picturePath.empty()) return base();
    if (!picture_ || picture_->path != settings.picturePath) {
        // A failed read is remembered too: the file is not tried again until the path changes.
        auto image = readPicture(settings.picturePath);
        picture_ = Picture{settings.picturePath,
                           image ? std::optional(image->movedToOrigin()) : std::nullopt};
        placed_.reset();
    }
    if (!picture_->image) return base();
    const int width = static_cast<int>(std::lround(frameExtent.width));
    const int height = static_cast<int>(std::lround(frameExtent.height));
    if (placed_ && placed_->width == width && placed_->height == height &&
        placed_->fit == settings.pictureFit) {
        return placed_->image;
    }
    const Rect own = picture_->image->extent();
    const auto placement = picturePlacement(own.width, own.height, frameExtent.width,
                                            frameExtent.height, settings.pictureFit);
    if (!placement) return base();
    const Image placedPicture = picture_->image->scaled(placement->scale, placement->scale)
                                    .translated(placement->x, placement->y)
                                    .composited(base())
                                    .cropped(frameExtent);
    placed_ = Placed{width, height, settings.pictureFit, placedPicture, std::nullopt};
    return placedPicture;
}

namespace {

// An opaque picture drawn into a 4:2:0 frame; false when memory runs out.
bool drawYuv(const Image& picture, const Yuv420Frame& into) {
    auto bgra = PixelBuffer::make(into.width(), into.height(), PixelFormat::bgra8);
    return bgra && renderInto(picture, *bgra) && convertToYuv420(*bgra, into.planes());
}

// An opaque picture's colours as 4:2:0; nothing when memory runs out.
std::optional<Yuv420Frame> yuvOf(const Image& picture, int width, int height) {
    auto yuv = Yuv420Frame::make(width, height);
    if (!yuv || !drawYuv(picture, *yuv)) return std::nullopt;
    return yuv;
}

// One opaque colour's Y, U and V, through the same conversion as whole pictures.
cv::Scalar yuvOf(const Image& colour) {
    const auto yuv = yuvOf(colour, 2, 2);
    if (!yuv) return cv::Scalar(16, 128, 128);
    return cv::Scalar(yuv->luma().at<std::uint8_t>(0, 0), yuv->chromaU().at<std::uint8_t>(0, 0),
                      yuv->chromaV().at<std::uint8_t>(0, 0));
}

// One plane blended through the mask's bytes stretched bilinearly to the plane's size;
// without background pixels, over the uniform value.
void blendPlane(const cv::Mat& fg, const cv::Mat& bg, std::uint8_t uniform, const cv::Mat& mask,
                cv::Mat out) {
    cv::Mat stretched;
    cv::resize(mask, stretched, fg.size(), 0, 0, cv::INTER_LINEAR);
    const auto width = static_cast<std::size_t>(fg.cols);
    const std::vector<std::uint8_t> uniformRow(bg.empty() ? width : 0, uniform);
    cv::parallel_for_(cv::Range(0, fg.rows), [&](const cv::Range& rows) {
        std::vector<std::uint16_t> weights(width);
        for (int y = rows.start; y < rows.end; ++y) {
            weightsOf(stretched.ptr<std::uint8_t>(y), weights.data(), fg.cols);
            blendPlaneRow(fg.ptr<std::uint8_t>(y),
                          bg.empty() ? uniformRow.data() : bg.ptr<std::uint8_t>(y), weights.data(),
                          out.ptr<std::uint8_t>(y), fg.cols);
        }
    });
}

}  // namespace

bool Compositor::canComposeYuv(const EffectSettings& settings) {
    return settings.showMask || settings.kind == BackgroundKind::blur ||
           settings.kind == BackgroundKind::color || settings.kind == BackgroundKind::picture;
}

bool Compositor::composeYuvInto(const Yuv420Frame& frame, const Image& mask,
                                const EffectSettings& settings, const Yuv420Frame& into) {
    if (!canComposeYuv(settings) || into.width() != frame.width() ||
        into.height() != frame.height() || into.storage().sharesPixelsWith(frame.storage())) {
        return false;
    }
    const Image shaped = shapedMask(mask, frame.luma(), settings);
    // The mask view is grey, drawn as compose draws it: rare enough to go through BGRA.
    if (settings.showMask) return drawYuv(maskView(shaped, extentOf(frame.luma())), into);
    std::array<cv::Mat, 3> behind;
    cv::Scalar uniform;
    if (!backgroundYuv(settings, frame, behind, uniform)) return false;
    cv::Mat bytes;
    shaped.pixels().convertTo(bytes, CV_8U, 255.0);
    const std::array<cv::Mat, 3> planes = frame.planeMats();
    const std::array<cv::Mat, 3> out = into.planeMats();
    for (std::size_t p = 0; p < planes.size(); ++p) {
        blendPlane(planes[p], behind[p],
                   cv::saturate_cast<std::uint8_t>(uniform[static_cast<int>(p)]), bytes, out[p]);
    }
    return true;
}

bool Compositor::backgroundYuv(const EffectSettings& settings, const Yuv420Frame& frame,
                               std::array<cv::Mat, 3>& planes, cv::Scalar& uniform) {
    switch (settings.kind) {
        case BackgroundKind::blur: {
            // A chroma sample spans two frame pixels each way.
            const double radius = blurRadius(settings.blurStrength, frame.width());
            planes = {blurReplicated(frame.luma(), radius),
                      blurReplicated(frame.chromaU(), radius / 2),
                      blurReplicated(frame.chromaV(), radius / 2)};
            return true;
        }
        case BackgroundKind::color:
            uniform = yuvOf(Image::color(settings.red, settings.green, settings.blue));
            return true;
        case BackgroundKind::picture: {
            const Image behind = pictureBackground(settings, extentOf(frame.luma()));
            // Without a placed picture the background is plain black.
            if (!placed_ || placed_->image.pixels().data != behind.pixels().data) {
                uniform = yuvOf(Image::color(0, 0, 0));
                return true;
            }
            if (!placed_->yuv) placed_->yuv = yuvOf(behind, frame.width(), frame.height());
            if (!placed_->yuv) return false;
            planes = placed_->yuv->planeMats();
            return true;
        }
        case BackgroundKind::none:
        case BackgroundKind::transparent:
            return false;
    }
    return false;
}

namespace {

// Previews shrink by less than half (1280 → 960): bilinear looks the same there and costs a
// tenth of area averaging, which the live preview cannot afford 30 times a second.
Image linearlyScaled(const Image& image, double s) {
    const cv::Mat& pixels = image.pixels();
    if (image.isInfinite() || pixels.empty()) return image;
    const cv::Size size(std::max(1, static_cast<int>(std::lround(pixels.cols * s))),
                        std::max(1, static_cast<int>(std::lround(pixels.rows * s))));
    cv::Mat out;
    cv::resize(pixels, out, size, 0, 0, cv::INTER_LINEAR);
    return Image::fromPixels(out);
}

}  // namespace

std::optional<Bitmap> Compositor::makeCGImage(const Image& image, int maxWidth) const {
    Image upright = image.movedToOrigin();
    const double width = upright.extent().width;
    if (width > maxWidth && width > 0) {
        const double scale = maxWidth / width;
        upright = scale >= 0.5 ? linearlyScaled(upright, scale) : upright.scaled(scale, scale);
    }
    return makeBitmap(upright);
}

}  // namespace pelliqo
