#include "platform/image/Image.h"

#include <algorithm>
#include <cmath>
#include <opencv2/imgproc.hpp>

#include "platform/image/Blend.h"
#include "platform/image/MatView.h"

namespace pelliqo {

namespace {

constexpr double huge = 1e300;

// Colour components as 8-bit values, rounding halves up (0.3 → 77, not 76).
double toByte(double component) {
    return std::floor(std::clamp(component, 0.0, 1.0) * 255.0 + 0.5);
}

// The disc of the radius as a structuring element.
cv::Mat disc(double radius) {
    const int r = static_cast<int>(std::floor(radius));
    cv::Mat kernel(2 * r + 1, 2 * r + 1, CV_8U, cv::Scalar(0));
    for (int dy = -r; dy <= r; ++dy) {
        for (int dx = -r; dx <= r; ++dx) {
            if (dx * dx + dy * dy <= radius * radius + 1e-9)
                kernel.at<std::uint8_t>(dy + r, dx + r) = 1;
        }
    }
    return kernel;
}

// Straight ↔ premultiplied alpha, in float.
cv::Mat premultiplied(const cv::Mat& bgra) {
    cv::Mat f;
    bgra.convertTo(f, CV_32FC4, 1.0 / 255);
    for (int y = 0; y < f.rows; ++y) {
        auto* p = f.ptr<cv::Vec4f>(y);
        for (int x = 0; x < f.cols; ++x) {
            for (int c = 0; c < 3; ++c) p[x][c] *= p[x][3];
        }
    }
    return f;
}

cv::Mat straight(const cv::Mat& premultipliedFloat) {
    cv::Mat out(premultipliedFloat.size(), CV_8UC4);
    for (int y = 0; y < out.rows; ++y) {
        const auto* p = premultipliedFloat.ptr<cv::Vec4f>(y);
        auto* o = out.ptr<cv::Vec4b>(y);
        for (int x = 0; x < out.cols; ++x) {
            const float a = p[x][3];
            for (int c = 0; c < 3; ++c) {
                o[x][c] = a > 0 ? cv::saturate_cast<std::uint8_t>(p[x][c] / a * 255.0f) : 0;
            }
            o[x][3] = cv::saturate_cast<std::uint8_t>(a * 255.0f);
        }
    }
    return out;
}

// The picture at half the size each way, each pixel the mean of the 2 × 2 it covers (an odd
// side repeats its last row or column first): OpenCV's fast path, a fifth of pyrDown's time.
cv::Mat halved(const cv::Mat& m) {
    cv::Mat even = m;
    if (m.cols % 2 != 0 || m.rows % 2 != 0) {
        cv::copyMakeBorder(m, even, 0, m.rows % 2, 0, m.cols % 2, cv::BORDER_REPLICATE);
    }
    cv::Mat half;
    cv::resize(even, half, cv::Size(even.cols / 2, even.rows / 2), 0, 0, cv::INTER_AREA);
    return half;
}

}  // namespace

cv::Rect pixelArea(const Rect& extent) {
    return cv::Rect(
        static_cast<int>(std::lround(extent.x)), static_cast<int>(std::lround(extent.y)),
        static_cast<int>(std::lround(extent.width)), static_cast<int>(std::lround(extent.height)));
}

// A large radius halves the picture a few times first (each halving is a small blur of its
// own), blurs the small copy by what is left of the radius and scales it back:
// indistinguishable at such strengths, far cheaper.
cv::Mat blurReplicated(const cv::Mat& src, double sigma) {
    int levels = 0;
    double variance = 0;  // of the halvings so far, in full-size pixels
    cv::Mat reduced = src;
    // A 2 × 2 mean has variance ¼ in the pixels it averages, which are 2^level wide. Halving
    // goes on while at least 2 small pixels of blur are left: a picture that smooth scales
    // back up linearly to within a step of the exact blur.
    while (sigma / (1 << (levels + 1)) >= 2.0 && reduced.cols >= 4 && reduced.rows >= 4) {
        reduced = halved(reduced);
        variance += 0.25 * static_cast<double>(1 << (2 * levels));
        ++levels;
    }
    const double factor = static_cast<double>(1 << levels);
    const double rest = std::sqrt(std::max(sigma * sigma - variance, 0.0)) / factor;
    cv::Mat blurred = reduced;
    if (rest > 0) cv::GaussianBlur(reduced, blurred, cv::Size(), rest, rest, cv::BORDER_REPLICATE);
    if (levels == 0) return blurred;
    // Each small pixel sits at the centre of the pixels it averaged, where scaling up expects
    // it. Scaled by exactly the factor (an odd side was padded, so the sizes' ratio would
    // stretch the picture), then cut to the frame.
    cv::Mat out;
    cv::resize(blurred, out, cv::Size(), factor, factor, cv::INTER_LINEAR);
    return out(cv::Rect(0, 0, src.cols, src.rows));
}

std::optional<Image> Image::fromBuffer(const PixelBuffer& frame) {
    if (frame.format() != PixelFormat::bgra8) return std::nullopt;
    return Image(matView(frame), {0, 0}, std::make_shared<PixelBuffer>(frame));
}

std::optional<Image> Image::fromMask(const PixelBuffer& mask) {
    cv::Mat grey;
    if (mask.format() == PixelFormat::gray8) {
        matView(mask).convertTo(grey, CV_32F, 1.0 / 255);
    } else if (mask.format() == PixelFormat::grayF32) {
        grey = matView(mask).clone();
        cv::patchNaNs(grey, 0);
    } else {
        return std::nullopt;
    }
    return Image(grey, {0, 0});
}

Image Image::fromBitmap(const Bitmap& bitmap) {
    return *fromBuffer(bitmap.pixels());
}

Image Image::color(double red, double green, double blue, double alpha) {
    Image image(cv::Mat(), {0, 0});
    image.constant_ = cv::Scalar(toByte(blue), toByte(green), toByte(red), toByte(alpha));
    return image;
}

Image Image::fromPixels(cv::Mat pixels, cv::Point2d origin) {
    CV_Assert(pixels.type() == CV_8UC4 || pixels.type() == CV_32FC1);
    return Image(std::move(pixels), origin);
}

Image Image::withPixels(cv::Mat pixels, cv::Point2d origin) const {
    Image image(std::move(pixels), origin);
    image.clamped_ = clamped_;
    return image;
}

Rect Image::extent() const {
    if (isInfinite()) return Rect{-huge / 2, -huge / 2, huge, huge};
    return Rect{origin_.x, origin_.y, static_cast<double>(pixels_.cols),
                static_cast<double>(pixels_.rows)};
}

cv::Rect Image::gridRect() const {
    return pixelArea(extent());
}

Image Image::translated(double dx, double dy) const {
    Image image = *this;
    image.origin_ += cv::Point2d(dx, dy);
    return image;
}

Image Image::scaled(double sx, double sy) const {
    if (isInfinite() || pixels_.empty()) return *this;
    const cv::Size size(std::max(1, static_cast<int>(std::lround(pixels_.cols * sx))),
                        std::max(1, static_cast<int>(std::lround(pixels_.rows * sy))));
    if (size == pixels_.size()) return withPixels(pixels_, {origin_.x * sx, origin_.y * sy});
    cv::Mat out;
    const int interpolation = (sx < 1 && sy < 1) ? cv::INTER_AREA : cv::INTER_LINEAR;
    cv::resize(pixels_, out, size, 0, 0, interpolation);
    return withPixels(out, {origin_.x * sx, origin_.y * sy});
}

Image Image::cropped(const Rect& rect) const {
    const cv::Rect area = pixelArea(rect);
    if (isInfinite()) {
        cv::Mat filled(std::max(area.height, 0), std::max(area.width, 0), CV_8UC4, *constant_);
        return Image(filled, {static_cast<double>(area.x), static_cast<double>(area.y)});
    }
    const cv::Rect own = gridRect();
    const cv::Rect both = own & area;
    if (both.empty()) {
        return Image(cv::Mat(0, 0, pixels_.type()),
                     {static_cast<double>(area.x), static_cast<double>(area.y)});
    }
    Image image(pixels_(both - own.tl()),
                {static_cast<double>(both.x), static_cast<double>(both.y)}, owner_);
    return image;
}

Image Image::clampedToExtent() const {
    Image image = *this;
    image.clamped_ = !isInfinite();
    return image;
}

Image Image::movedToOrigin() const {
    if (isInfinite() || (origin_.x == 0 && origin_.y == 0)) return *this;
    return translated(-origin_.x, -origin_.y);
}

Image Image::mirrored() const {
    if (isInfinite() || pixels_.empty()) return *this;
    cv::Mat flipped;
    cv::flip(pixels_, flipped, 1);
    return withPixels(std::move(flipped), origin_);
}

Image Image::oriented(int orientation) const {
    if (isInfinite() || pixels_.empty()) return movedToOrigin();
    cv::Mat turned;
    switch (orientation) {
        case 3:
            cv::rotate(pixels_, turned, cv::ROTATE_180);
            break;
        case 6:
            cv::rotate(pixels_, turned, cv::ROTATE_90_CLOCKWISE);
            break;
        case 8:
            cv::rotate(pixels_, turned, cv::ROTATE_90_COUNTERCLOCKWISE);
            break;
        default:
            return movedToOrigin();
    }
    return withPixels(turned, {0, 0});
}

Image Image::gaussianBlurred(double radius) const {
    if (!(radius > 0) || isInfinite() || pixels_.empty()) return *this;
    // A settings file or preset may hold any number. Past a few times the picture's own size
    // a wider blur changes nothing that shows, and its kernel would overflow.
    radius = std::min(radius, 4.0 * std::max(pixels_.cols, pixels_.rows));
    cv::Mat source = pixels_;
    cv::Point2d origin = origin_;
    if (!clamped_) {
        // Unclamped, the picture fades into the transparent black around it.
        const int grow = static_cast<int>(std::ceil(3 * radius));
        cv::copyMakeBorder(pixels_, source, grow, grow, grow, grow, cv::BORDER_CONSTANT,
                           cv::Scalar::all(0));
        origin -= cv::Point2d(grow, grow);
    }
    if (source.type() == CV_8UC4 && !isOpaque(source)) {
        return withPixels(straight(blurReplicated(premultiplied(source), radius)), origin);
    }
    return withPixels(blurReplicated(source, radius), origin);
}

Image Image::morphology(int operation, double radius) const {
    if (!(radius > 0) || isInfinite() || pixels_.empty()) return *this;
    // A disc wider than the picture's diagonal already reaches every pixel from every pixel.
    radius = std::min(radius, std::hypot(pixels_.cols, pixels_.rows));
    cv::Mat out;
    cv::morphologyEx(pixels_, out, operation, disc(radius), {-1, -1}, 1,
                     clamped_ ? cv::BORDER_REPLICATE : cv::BORDER_CONSTANT, cv::Scalar::all(0));
    return withPixels(out, origin_);
}

Image Image::morphologyMaximum(double radius) const {
    return morphology(cv::MORPH_DILATE, radius);
}

Image Image::morphologyMinimum(double radius) const {
    return morphology(cv::MORPH_ERODE, radius);
}

Image Image::withContrast(double contrast) const {
    const double offset = 0.5 - 0.5 * contrast;
    if (isInfinite()) {
        Image image = *this;
        for (int c = 0; c < 3; ++c) {
            (*image.constant_)[c] = toByte(((*constant_)[c] / 255.0) * contrast + offset);
        }
        return image;
    }
    cv::Mat out;
    if (isGrey()) {
        pixels_.convertTo(out, CV_32F, contrast, offset);
        cv::min(cv::max(out, 0.0), 1.0, out);
        return withPixels(out, origin_);
    }
    cv::Mat table(1, 256, CV_8UC4);
    for (int v = 0; v < 256; ++v) {
        const auto mapped = static_cast<std::uint8_t>(toByte(v / 255.0 * contrast + offset));
        table.at<cv::Vec4b>(0, v) = cv::Vec4b(mapped, mapped, mapped, static_cast<std::uint8_t>(v));
    }
    cv::LUT(pixels_, table, out);
    return withPixels(out, origin_);
}

cv::Mat Image::coverage(const cv::Rect& area) const {
    const cv::Rect own = gridRect();
    const int top = std::max(0, own.y - area.y), left = std::max(0, own.x - area.x);
    const int bottom = std::max(0, area.br().y - own.br().y);
    const int right = std::max(0, area.br().x - own.br().x);
    cv::Mat extended = pixels_;
    if (top || left || bottom || right) {
        cv::copyMakeBorder(pixels_, extended, top, bottom, left, right,
                           clamped_ ? cv::BORDER_REPLICATE : cv::BORDER_CONSTANT,
                           cv::Scalar::all(0));
    }
    const cv::Point shift(own.x - left, own.y - top);  // plane position of extended(0, 0)
    return extended(cv::Rect(area.tl() - shift, area.size()));
}

void Image::drawBgra(cv::Mat& dst, cv::Point areaOrigin) const {
    const cv::Rect area(areaOrigin, dst.size());
    if (isInfinite()) {
        dst.setTo(*constant_);
        return;
    }
    if (pixels_.empty()) {
        dst.setTo(cv::Scalar::all(0));
        return;
    }
    const cv::Mat covered = coverage(area);
    if (isGrey()) {
        cv::Mat bytes;
        covered.convertTo(bytes, CV_8U, 255.0, 0.0);
        cv::cvtColor(bytes, dst, cv::COLOR_GRAY2BGRA);
        if (!clamped_) {
            // Beyond a grey image's own extent there is nothing, not black.
            cv::Mat alpha(dst.size(), CV_8U, cv::Scalar(0));
            alpha((gridRect() & area) - area.tl()).setTo(255);
            cv::mixChannels(alpha, dst, std::vector<int>{0, 3});
        }
        return;
    }
    // An image made in the target's own pixels is already there.
    if (covered.data != dst.data) covered.copyTo(dst);
}

cv::Mat Image::bgraOver(const cv::Rect& area) const {
    cv::Mat out(area.size(), CV_8UC4);
    drawBgra(out, area.tl());
    return out;
}

cv::Mat Image::greyOver(const cv::Rect& area) const {
    if (isInfinite()) {
        const cv::Scalar& k = *constant_;
        return cv::Mat(area.size(), CV_32F,
                       cv::Scalar((0.114 * k[0] + 0.587 * k[1] + 0.299 * k[2]) / 255));
    }
    if (pixels_.empty()) return cv::Mat(area.size(), CV_32F, cv::Scalar(0));
    cv::Mat covered = coverage(area);
    if (isGrey()) return covered;
    cv::Mat grey;
    cv::cvtColor(covered, grey, cv::COLOR_BGRA2GRAY);
    grey.convertTo(grey, CV_32F, 1.0 / 255);
    return grey;
}

cv::Mat Image::bgraView(const cv::Rect& area) const {
    if (!isInfinite() && pixels_.type() == CV_8UC4 && gridRect() == area) return pixels_;
    return bgraOver(area);
}

namespace {

// Rows of the foreground over the background (or one colour) through a mask row each; the
// mask's rows come from maskRow(y, buffer), which returns them or makes them in the buffer
// of the row's length as weights.
template <typename MaskRow>
void blendRows(const cv::Mat& fg, const cv::Mat& bg, const cv::Vec4b& colour, MaskRow maskRow,
               cv::Mat& out) {
    const auto width = static_cast<std::size_t>(fg.cols);
    const std::vector<cv::Vec4b> colourRow(bg.empty() ? width : 0, colour);
    cv::parallel_for_(cv::Range(0, fg.rows), [&](const cv::Range& rows) {
        std::vector<std::uint16_t> buffer(width);
        for (int y = rows.start; y < rows.end; ++y) {
            blendRow(fg.ptr<cv::Vec4b>(y), bg.empty() ? colourRow.data() : bg.ptr<cv::Vec4b>(y),
                     maskRow(y, buffer.data()), out.ptr<cv::Vec4b>(y), fg.cols);
        }
    });
}

}  // namespace

cv::Vec4b Image::bytes() const {
    const cv::Scalar& k = *constant_;
    return cv::Vec4b(cv::saturate_cast<std::uint8_t>(k[0]), cv::saturate_cast<std::uint8_t>(k[1]),
                     cv::saturate_cast<std::uint8_t>(k[2]), cv::saturate_cast<std::uint8_t>(k[3]));
}

Image Image::blended(const Image& background, const Image& mask) const {
    const cv::Rect area = isInfinite() ? background.gridRect() : gridRect();
    const cv::Mat weights =
        mask.isGrey() && mask.gridRect() == area ? mask.pixels_ : mask.greyOver(area);
    return blendedWeights(background, area, [&](int y, std::uint16_t* row) {
        weightsOf(weights.ptr<float>(y), row, area.width);
        return static_cast<const std::uint16_t*>(row);
    });
}

Image Image::blendedStretched(const Image& background, const Image& mask,
                              const std::optional<PixelBuffer>& into) const {
    const cv::Rect area = isInfinite() ? cv::Rect() : gridRect();
    // Nothing to stretch, or nothing to stretch over: the mask as it lies in the plane.
    if (area.empty() || !mask.isGrey() || mask.pixels_.empty()) return blended(background, mask);
    // Scaled up as bytes, a quarter of the memory a float mask of the frame's size would
    // take to write and read again.
    cv::Mat small, bytes;
    mask.pixels_.convertTo(small, CV_8U, 255.0);
    cv::resize(small, bytes, area.size(), 0, 0, cv::INTER_LINEAR);
    return blendedWeights(
        background, area,
        [&](int y, std::uint16_t* row) {
            weightsOf(bytes.ptr<std::uint8_t>(y), row, area.width);
            return static_cast<const std::uint16_t*>(row);
        },
        into);
}

template <typename MaskRow>
Image Image::blendedWeights(const Image& background, const cv::Rect& area, MaskRow maskRow,
                            const std::optional<PixelBuffer>& into) const {
    const cv::Mat fg = bgraView(area);
    const bool uniform = background.isInfinite();
    const cv::Mat bg = uniform ? cv::Mat() : background.bgraView(area);
    cv::Mat out = into && into->format() == PixelFormat::bgra8 && into->width() == area.width &&
                          into->height() == area.height
                      ? matView(*into)
                      : cv::Mat();
    // The blend reads its inputs and writes its output as separate memory.
    const bool fits = !out.empty() && out.data != fg.data && out.data != bg.data;
    if (!fits) out = cv::Mat(area.size(), CV_8UC4);
    blendRows(fg, bg, uniform ? background.bytes() : cv::Vec4b(), maskRow, out);
    return Image(out, {static_cast<double>(area.x), static_cast<double>(area.y)},
                 fits ? std::make_shared<PixelBuffer>(*into) : nullptr);
}

Image Image::composited(const Image& background) const {
    if (background.isInfinite() && isInfinite()) {
        // Over an opaque colour, an opaque colour simply replaces it.
        return (*constant_)[3] == 255 ? *this : background;
    }
    const cv::Rect area = background.isInfinite() ? gridRect() : background.gridRect();
    const cv::Point2d origin(area.x, area.y);
    // Source-over is a blend of the opaque source through the source's own alpha.
    cv::Mat source = bgraOver(area), alpha;
    cv::extractChannel(source, alpha, 3);
    alpha.convertTo(alpha, CV_32F, 1.0 / 255);
    const cv::Mat opaqueAlpha(area.size(), CV_8U, cv::Scalar(255));
    cv::mixChannels(opaqueAlpha, source, std::vector<int>{0, 3});
    return Image(source, origin).blended(background, Image(alpha, origin));
}

}  // namespace pelliqo
