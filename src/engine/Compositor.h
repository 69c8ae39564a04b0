#pragma once

#include <array>
#include <optional>
#include <string>

#include "engine/EffectSettings.h"
#include "platform/image/Bitmap.h"
#include "platform/image/Image.h"
#include "platform/image/PixelBuffer.h"
#include "platform/image/Yuv420.h"

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

    // Whether composeYuvInto makes these settings' picture: an opaque background, or the
    // mask view.
    static bool canComposeYuv(const EffectSettings& settings);
    // compose for a 4:2:0 frame, made in the planes of `into` (the frame's size), so that a
    // movie's frames never leave its own colours: the same picture up to rounding, the
    // chroma planes blended through the mask at their own half size. False, with nothing
    // written, for settings canComposeYuv refuses (transparency) or an `into` of another size.
    bool composeYuvInto(const Yuv420Frame& frame, const Image& mask, const EffectSettings& settings,
                        const Yuv420Frame& into);

    // A preview bitmap no wider than maxWidth (never enlarged), or nothing.
    std::optional<Bitmap> makeCGImage(const Image& image, int maxWidth) const;

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
    // The mask with its edge on the edges of the frame's picture, then shaped: at the
    // frame's size, or at a fraction of it when softness hides the finer detail; grey, at
    // the origin. The picture is the frame's BGRA pixels or its limited-range luma plane.
    Image shapedMask(const Image& mask, const cv::Mat& picture,
                     const EffectSettings& settings) const;
    Image guidedScaled(const Image& mask, const cv::Mat& picture, cv::Size size) const;
    // The background planes behind a 4:2:0 frame; false when the settings have none.
    bool backgroundYuv(const EffectSettings& settings, const Yuv420Frame& frame,
                       std::array<cv::Mat, 3>& planes, cv::Scalar& uniform);
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
        std::optional<Yuv420Frame> yuv;  // made when a 4:2:0 frame first asks for it
    };
    std::optional<Placed> placed_;
};

}  // namespace pelliqo
