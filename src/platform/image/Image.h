#pragma once

#include <filesystem>
#include <memory>
#include <opencv2/core.hpp>
#include <optional>

#include "platform/image/Bitmap.h"
#include "platform/image/PixelBuffer.h"

namespace pelliqo {

struct Rect {
    double x = 0;
    double y = 0;
    double width = 0;
    double height = 0;

    bool operator==(const Rect&) const = default;
};

// A picture in the plane: pixels placed at an origin, or a single colour filling the
// whole plane (an infinite image). Colour pictures are 8-bit BGRA with straight alpha, in
// sRGB; masks and other grey data are one float channel in 0…1 and carry no colour space.
// Images are values: every operation returns a new image and leaves its input alone.
// Operations run at once (there is no lazy recipe); where they place pixels at fractional
// positions, the result is rounded to the pixel grid.
class Image {
  public:
    // A frame, without copying its pixels: the buffer must not change while the image lives.
    static std::optional<Image> fromBuffer(const PixelBuffer& frame);
    // A one-channel mask (8-bit or float), extent (0, 0, width, height), not colour-managed.
    static std::optional<Image> fromMask(const PixelBuffer& mask);
    static Image fromBitmap(const Bitmap& bitmap);
    // An infinite image of one colour; components in 0…1, straight alpha.
    static Image color(double red, double green, double blue, double alpha = 1.0);
    // BGRA (CV_8UC4) or grey (CV_32FC1) pixels with their origin.
    static Image fromPixels(cv::Mat pixels, cv::Point2d origin = {0, 0});

    bool isInfinite() const { return constant_.has_value(); }
    bool isGrey() const { return pixels_.type() == CV_32FC1; }
    // The infinite rectangle for infinite images: origin and size of ±1e300.
    Rect extent() const;
    // Empty for infinite images.
    const cv::Mat& pixels() const { return pixels_; }
    // The colour of an infinite image, as B, G, R, A in 0…255.
    const std::optional<cv::Scalar>& constant() const { return constant_; }

    Image translated(double dx, double dy) const;
    // The pixels resampled (bilinear; area averaging when shrinking), origin scaled too; the
    // factors are positive.
    Image scaled(double sx, double sy) const;
    // Pixels outside the rectangle are dropped; an infinite image becomes finite.
    Image cropped(const Rect& rect) const;
    // Extends the edge pixels outward, so filters near the edge do not see transparent
    // black. The extent stays finite here; filters on a clamped image use replicated borders.
    Image clampedToExtent() const;
    // Moves a finite image so that its extent starts at (0, 0).
    Image movedToOrigin() const;
    // Flipped left to right about the vertical centre line of its extent, which stays put.
    Image mirrored() const;
    // Turned upright from a stored EXIF orientation: 3 half a turn, 6 a quarter turn
    // clockwise, 8 a quarter turn anticlockwise; anything else as it is. At the origin.
    Image oriented(int orientation) const;

    // Gaussian blur; the radius is the standard deviation in pixels. An unclamped image
    // grows by three radii of transparent black on every side; large radii blur a
    // downscaled copy.
    Image gaussianBlurred(double radius) const;
    // Each pixel becomes the maximum (minimum) over a disc of the radius.
    Image morphologyMaximum(double radius) const;
    Image morphologyMinimum(double radius) const;
    // (v − 0.5) × contrast + 0.5 on every colour component (or the grey value), clamped.
    Image withContrast(double contrast) const;
    // Per pixel, this image where the mask is white and the background where it is black,
    // mixed with premultiplied alpha and given back with straight alpha. The result covers
    // this image's extent.
    Image blended(const Image& background, const Image& mask) const;
    // The same with a grey mask of any size stretched bilinearly over this finite image's
    // extent (any other mask is used as it lies): the blend through a scaled-up mask without the
    // cost of storing one. Made in the pixels of `into` when it is a BGRA buffer of the extent's
    // size (the result then refers to them), which saves a fresh frame of memory and a copy into
    // the buffer.
    Image blendedStretched(const Image& background, const Image& mask,
                           const std::optional<PixelBuffer>& into = std::nullopt) const;
    // This image over the background (source-over), covering the background's extent.
    Image composited(const Image& background) const;

    // Draws the image as BGRA into dst, whose pixel (0, 0) lies at areaOrigin in the plane;
    // what the image does not cover becomes transparent black. Grey images draw opaque.
    void drawBgra(cv::Mat& dst, cv::Point areaOrigin) const;
    // The image as grey values in 0…1 over the area (0 where it does not reach).
    cv::Mat greyOver(const cv::Rect& area) const;

  private:
    Image(cv::Mat pixels, cv::Point2d origin, std::shared_ptr<const void> owner = nullptr)
        : pixels_(std::move(pixels)), origin_(origin), owner_(std::move(owner)) {}

    cv::Mat bgraOver(const cv::Rect& area) const;
    // An infinite image's colour as bytes.
    cv::Vec4b bytes() const;
    // The blend over the area, the mask's rows as weights out of 256 from maskRow(y, buffer).
    template <typename MaskRow>
    Image blendedWeights(const Image& background, const cv::Rect& area, MaskRow maskRow,
                         const std::optional<PixelBuffer>& into = std::nullopt) const;
    // The pixels themselves when they cover exactly the area, otherwise bgraOver.
    cv::Mat bgraView(const cv::Rect& area) const;
    // Where the pixels sit on the integer grid.
    cv::Rect gridRect() const;
    // The pixels with their borders extended (replicated if clamped, zero otherwise) so that
    // they cover the area; the area must be in plane coordinates.
    cv::Mat coverage(const cv::Rect& area) const;
    Image withPixels(cv::Mat pixels, cv::Point2d origin) const;
    // Dilation or erosion over a disc of the radius.
    Image morphology(int operation, double radius) const;

    cv::Mat pixels_;
    cv::Point2d origin_;
    std::shared_ptr<const void> owner_;  // keeps borrowed pixels alive
    std::optional<cv::Scalar> constant_;
    bool clamped_ = false;
};

// A Gaussian blur of plain pixels (any layout OpenCV filters) with replicated borders; the
// radius is the standard deviation in pixels.
cv::Mat blurReplicated(const cv::Mat& pixels, double sigma);

// The pixel grid a finite extent covers.
cv::Rect pixelArea(const Rect& extent);

}  // namespace pelliqo
