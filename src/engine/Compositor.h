#pragma once

#include <optional>
#include <string>

#include "engine/EffectSettings.h"
#include "platform/image/Bitmap.h"
#include "platform/image/Image.h"
#include "platform/image/PixelBuffer.h"

namespace pelliqo {

// Builds the finished picture of a frame: the mask scaled to the frame and its edge
// shaped, the chosen background behind the person. One per stream of frames; not
// thread-safe.
class Compositor {
  public:
    // The finished frame at the origin, the frame's size. Never fails: without a mask it
    // is the frame itself. A blend is made in the pixels of `into` when it is a BGRA buffer
    // of the frame's size; rendering the result there then costs nothing.
    Image compose(const Image& frame, const std::optional<Image>& mask,
                  const EffectSettings& settings,
                  const std::optional<PixelBuffer>& into = std::nullopt);

    // A preview bitmap no wider than maxWidth (never enlarged), or nothing.
    std::optional<Bitmap> makeCGImage(const Image& image, int maxWidth) const;

    // Draws a finished image into an output buffer over (0, 0, width, height).
    bool render(const Image& image, PixelBuffer& target) const;

    // The rules, as plain numbers.
    // Scale of the mask edge radii: masks are measured against 640 pixels, never below 0.25.
    static double edgeScale(double maskWidth);
    // The grow/shrink radius, or nothing inside the ±0.01 dead zone; at least 1 pixel.
    static std::optional<double> shiftRadius(double edgeShift, double scale);
    // The edge blur radius, or nothing up to 0.01; no minimum.
    static std::optional<double> softnessRadius(double edgeSoftness, double scale);
    // The background blur radius for a frame width (strength is for 1280 pixels), at least 1.
    static double blurRadius(double blurStrength, double frameWidth);
    struct Placement {
        double scale;
        double x;
        double y;
    };
    // Where a picture goes behind a frame: scaled to fill or fit, centred; nothing for an
    // empty picture.
    static std::optional<Placement> picturePlacement(double pictureWidth, double pictureHeight,
                                                     double frameWidth, double frameHeight,
                                                     PictureFit fit);
    static constexpr double maskContrast = 1.35;

  private:
    // The mask with its edge on the frame's edges, then shaped: at the frame's size, or at a
    // fraction of it when softness hides the finer detail; grey, at the origin.
    Image shapedMask(const Image& mask, const Image& frame, const EffectSettings& settings) const;
    Image guidedScaled(const Image& mask, const Image& frame, cv::Size size) const;
    Image background(const EffectSettings& settings, const Rect& frameExtent, const Image& frame);
    Image pictureBackground(const EffectSettings& settings, const Rect& frameExtent);

    // The last picture asked for and what reading it gave (nothing when it failed).
    struct Picture {
        std::string path;
        std::optional<Image> image;
    };
    std::optional<Picture> picture_;

    // The last picture background made, reused while the picture, frame size and fit stay.
    struct Placed {
        int width;
        int height;
        PictureFit fit;
        Image image;
    };
    std::optional<Placed> placed_;
};

}  // namespace pelliqo
