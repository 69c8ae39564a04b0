#include "engine/MaskHistory.h"

#include <algorithm>
#include <cmath>
#include <opencv2/imgproc.hpp>

#include "platform/image/MatView.h"

namespace pelliqo {

namespace {

// How far (grey levels, averaged over 3 × 3) the picture carried along the motion may differ
// from the new one and still count as followed: a camera's noise, averaged down to the mask's
// size, stays below the first; past the second the motion was not followed.
constexpr float trackedBelow = 4;
constexpr float untrackedAbove = 12;
// How much of the new mask a followed pixel takes: little where the engine is unsure (that is
// where it flickers), more where it is sure.
constexpr float unsureWeight = 0.05f;
constexpr float sureWeight = 0.3f;
// Where something moves, a new value far from the carried one is most likely what the motion
// uncovered or covered rather than a waver of the engine: past the first distance (grey
// levels) it is followed, fully past the second. Still pixels never take this rule, as there
// an engine's large wavers are what the smoothing is for.
constexpr float agreesWithin = 64;
constexpr float disagreesBeyond = 192;
// Pixels (at the mask's size) a frame from which a pixel counts as moving.
constexpr float movingAbove = 0.5f;
// How much better (grey levels) the carried picture must agree than the unmoved one for a
// pixel's history to be taken from where the motion says it was.
constexpr int preferStill = 1;
// Smaller pictures have too little room for the flow's patches: they count as still.
constexpr int smallestFlowSide = 32;

// A float mask value as a byte: truncated, NaN and anything not above 0 as 0.
std::uint8_t byteFromFloat(float v) {
    if (!(v > 0.0f)) return 0;
    if (v >= 1.0f) return 255;
    return static_cast<std::uint8_t>(v * 255.0f);
}

// The mask as bytes; empty for a format that is not a mask.
cv::Mat bytesOf(const PixelBuffer& mask) {
    if (mask.format() == PixelFormat::gray8) return matView(mask).clone();
    if (mask.format() != PixelFormat::grayF32 || mask.width() < 1 || mask.height() < 1) return {};
    cv::Mat bytes(mask.height(), mask.width(), CV_8U);
    for (int y = 0; y < bytes.rows; ++y) {
        const auto* in = reinterpret_cast<const float*>(mask.row(y));
        auto* out = bytes.ptr<std::uint8_t>(y);
        for (int x = 0; x < bytes.cols; ++x) out[x] = byteFromFloat(in[x]);
    }
    return bytes;
}

// How far a carried picture is from the new one, per pixel, averaged over 3 × 3.
cv::Mat residualBetween(const cv::Mat& carried, const cv::Mat& now) {
    cv::Mat residual, averaged;
    cv::absdiff(carried, now, residual);
    cv::blur(residual, averaged, cv::Size(3, 3), cv::Point(-1, -1), cv::BORDER_REPLICATE);
    return averaged;
}

// Per pixel, 0 where the residual says the motion was followed, 1 where it was lost; a lost
// pixel's neighbours count too, as an edge moves with what is next to it.
cv::Mat untrackedFrom(const cv::Mat& residual) {
    cv::Mat around, untracked;
    cv::dilate(residual, around, cv::Mat());
    around.convertTo(untracked, CV_32F, 1.0 / (untrackedAbove - trackedBelow),
                     -trackedBelow / (untrackedAbove - trackedBelow));
    return cv::min(cv::max(untracked, 0), 1);
}

// The new value blended with the carried history.
std::uint8_t blendedValue(int current, int history, float untracked, float moving) {
    const auto now = static_cast<float>(current);
    const auto before = static_cast<float>(history);
    const float sure = std::abs(now - 127.5f) / 127.5f;
    const float held = unsureWeight + (sureWeight - unsureWeight) * sure * sure;
    const float disagree = std::clamp(
        (std::abs(now - before) - agreesWithin) / (disagreesBeyond - agreesWithin), 0.0f, 1.0f);
    const float weight = held + (1 - held) * std::max(untracked, disagree * moving);
    // Both in 0…255, so is the blend: rounding by adding a half, not a library call.
    return static_cast<std::uint8_t>(before + weight * (now - before) + 0.5f);
}

}  // namespace

cv::Mat MaskHistory::motionTo(const cv::Mat& picture) {
    measured_.release();
    measuredFor_.release();
    if (!comparable(picture) || std::min(picture.cols, picture.rows) < smallestFlowSide) return {};
    measured_ = motion_.since(picture_, picture);
    measuredFor_ = picture;
    return measured_;
}

void MaskHistory::clear() {
    measured_.release();
    measuredFor_.release();
    mask_.release();
    picture_.release();
}

std::optional<MaskHistory::Origins> MaskHistory::whereFrom(const cv::Mat& picture) {
    if (std::min(picture.cols, picture.rows) < smallestFlowSide) return std::nullopt;
    // The picture's buffer is held while measured_ is, so the same address is the same picture.
    const cv::Mat flow =
        measuredFor_.data == picture.data ? measured_ : motion_.since(picture_, picture);
    measured_.release();
    measuredFor_.release();
    Origins origins;
    std::vector<cv::Mat> xy;
    cv::split(flow, xy);
    cv::Mat speed, around;
    cv::magnitude(xy[0], xy[1], speed);
    cv::dilate(speed, around, cv::Mat(), {-1, -1}, 2);
    origins.moving = cv::min(around / movingAbove, 1);
    // In fixed point, remapping costs a fifth of what it does from floats.
    cv::convertMaps(positionsFrom(flow), cv::noArray(), origins.points, origins.fractions,
                    CV_16SC2);
    return origins;
}

bool MaskHistory::comparable(const cv::Mat& picture) const {
    return picture.size() == mask_.size() && picture.type() == CV_8UC1 &&
           picture_.size() == picture.size();
}

MaskHistory::Carried MaskHistory::carried(const cv::Mat& picture) {
    Carried c{mask_.clone(), {}, cv::Mat(mask_.size(), CV_32F, cv::Scalar(0))};
    if (!comparable(picture)) {
        c.untracked = cv::Mat(mask_.size(), CV_32F, cv::Scalar(1));
        return c;
    }
    cv::Mat residual = residualBetween(picture_, picture);
    if (const auto from = whereFrom(picture)) {
        c.moving = from->moving;
        cv::Mat movedMask, movedPicture;
        cv::remap(mask_, movedMask, from->points, from->fractions, cv::INTER_LINEAR,
                  cv::BORDER_REPLICATE);
        cv::remap(picture_, movedPicture, from->points, from->fractions, cv::INTER_LINEAR,
                  cv::BORDER_REPLICATE);
        // Each pixel's history comes from where the picture agrees better. A still pixel keeps
        // its own: the flow of a noisy still picture jitters, and next to a moving background
        // it drags a still edge along.
        const cv::Mat movedResidual = residualBetween(movedPicture, picture);
        cv::Mat moved;
        cv::add(movedResidual, cv::Scalar(preferStill), moved);
        moved = moved < residual;
        movedMask.copyTo(c.mask, moved);
        movedResidual.copyTo(residual, moved);
    }
    c.untracked = untrackedFrom(residual);
    return c;
}

std::optional<PixelBuffer> MaskHistory::smoothed(const PixelBuffer& mask, const cv::Mat& picture) {
    cv::Mat current = bytesOf(mask);
    if (current.empty()) return std::nullopt;
    auto out = PixelBuffer::make(current.cols, current.rows, PixelFormat::gray8);
    if (!out) return std::nullopt;
    if (mask_.size() == current.size()) {
        const Carried history = carried(picture);
        for (int y = 0; y < current.rows; ++y) {
            auto* now = current.ptr<std::uint8_t>(y);
            const auto* before = history.mask.ptr<std::uint8_t>(y);
            const auto* lost = history.untracked.ptr<float>(y);
            const auto* speed = history.moving.ptr<float>(y);
            for (int x = 0; x < current.cols; ++x)
                now[x] = blendedValue(now[x], before[x], lost[x], speed[x]);
        }
    }
    mask_ = current;
    picture_ = picture.type() == CV_8UC1 ? picture.clone() : cv::Mat();
    mask_.copyTo(matView(*out));
    return out;
}

std::optional<PixelBuffer> MaskHistory::carriedTo(const cv::Mat& picture, double lostAtMost) {
    const auto masks = carriedMasksTo(picture, lostAtMost);
    if (!masks) return std::nullopt;
    auto out = PixelBuffer::make(masks->mask.cols, masks->mask.rows, PixelFormat::gray8);
    if (!out) return std::nullopt;
    masks->mask.copyTo(matView(*out));
    return out;
}

void MaskHistory::restart(const cv::Mat& masks, const cv::Mat& picture) {
    mask_ = masks.clone();
    picture_ = picture.clone();
}

std::optional<MaskHistory::Carried> MaskHistory::carriedMasksTo(const cv::Mat& picture,
                                                                double lostAtMost) {
    if (mask_.empty() || !comparable(picture)) return std::nullopt;
    Carried history = carried(picture);
    if (cv::mean(history.untracked)[0] > lostAtMost) return std::nullopt;
    mask_ = history.mask;  // shared: a change the caller makes is carried on
    picture_ = picture.clone();
    return history;
}

}  // namespace pelliqo
