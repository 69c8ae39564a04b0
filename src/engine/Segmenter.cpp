#include "engine/Segmenter.h"

#include <algorithm>
#include <cmath>
#include <opencv2/imgproc.hpp>

#include "platform/image/MatView.h"
#include "platform/inference/ModelDirectory.h"

namespace pelliqo {

namespace {

std::shared_ptr<SegmentationEngine> installedEngine(SegmentationLevel level) {
    auto models = ModelDirectory::open(ModelDirectory::defaultLocation());
    if (!models) return nullptr;
    auto engine = makeSegmentationEngine(level, models.value());
    return engine ? engine.value() : nullptr;
}

std::shared_ptr<SegmentationEngine> installedSubjectEngine() {
    if (!subjectEngineOffered()) return nullptr;
    auto models = ModelDirectory::open(ModelDirectory::defaultLocation());
    if (!models) return nullptr;
    auto engine = makeSubjectEngine(models.value());
    return engine ? engine.value() : nullptr;
}

// The subject engine found something when any pixel is more likely subject than not.
bool foundAnything(const PixelBuffer& mask) {
    double most = 0;
    cv::minMaxLoc(matView(mask), nullptr, &most);
    return most >= 128;
}

std::optional<SegmentationInput> inputFor(const SegmentSource& source) {
    // A movie frame is judged (its shape, its motion) on a half-size picture, a quarter of the
    // pixels; the networks take their samples from its planes, as a half-size picture would
    // blur the edge they see (it measured 12–24 % further from the true edge).
    if (const auto* yuv = std::get_if<Yuv420Frame>(&source)) {
        const cv::Mat half = scaledBgra(*yuv, {yuv->width() / 2, yuv->height() / 2});
        if (half.empty()) return std::nullopt;
        return SegmentationInput{half,
                                 [frame = *yuv](cv::Size size) { return scaledBgra(frame, size); }};
    }
    const auto* frame = std::get_if<PixelBuffer>(&source);
    const PixelBuffer& pixels = frame ? *frame : std::get<Bitmap>(source).pixels();
    if (pixels.format() != PixelFormat::bgra8) return std::nullopt;
    return SegmentationInput{matView(pixels)};
}

// How much a pixel of the picture may change between frames and still count as still: the
// noise of a camera, averaged down to the mask's size, stays below the first; what changes
// by more than the second has moved.
constexpr int stillBelow = 4;
constexpr int movedAbove = 12;
// How much of the new mask a still pixel takes: little where the engine is unsure (that is
// where it flickers), as much as a moving pixel where it is sure.
constexpr float unsureWeight = 0.05f;
constexpr float moveWeight = 0.6f;

// The picture as grey at the mask's size, each pixel the average of up to 4 × 4 samples so
// that noise cancels. Sampling at whole multiples of the size first keeps the averaging on
// OpenCV's fast path (an area resize by an odd factor costs 7 ms at 1080p, this under 1).
cv::Mat pictureAt(const cv::Mat& bgra, int width, int height) {
    const int samples = std::clamp(std::min(bgra.cols / width, bgra.rows / height), 1, 4);
    cv::Mat grey, sampled, small;
    cv::cvtColor(bgra, grey, cv::COLOR_BGRA2GRAY);
    cv::resize(grey, sampled, cv::Size(width * samples, height * samples), 0, 0, cv::INTER_LINEAR);
    cv::resize(sampled, small, cv::Size(width, height), 0, 0, cv::INTER_AREA);
    return small;
}

// Per pixel, how far the picture moved between the two frames, 0 (still) to 1 (moved);
// the largest change around a pixel counts, as edges move with what is next to them.
cv::Mat motionBetween(const cv::Mat& before, const cv::Mat& now) {
    cv::Mat change, around, motion;
    cv::absdiff(before, now, change);
    cv::dilate(change, around, cv::Mat(), {-1, -1}, 5);
    around.convertTo(motion, CV_32F, 1.0 / (movedAbove - stillBelow),
                     -static_cast<double>(stillBelow) / (movedAbove - stillBelow));
    return cv::min(cv::max(motion, 0), 1);
}

// The new value blended with the history: 3 : 2 where the picture moved, exactly as
// integers; where it is still, by how sure the engine is of the new value.
int blendedValue(int current, int history, float motion) {
    if (motion >= 1.0f) return (3 * current + 2 * history) / 5;
    const auto now = static_cast<float>(current);
    const auto before = static_cast<float>(history);
    const float sure = std::abs(now - 127.5f) / 127.5f;
    const float stillWeight = unsureWeight + (moveWeight - unsureWeight) * sure * sure;
    const float weight = stillWeight + (moveWeight - stillWeight) * motion;
    return static_cast<int>(std::lround(before + weight * (now - before)));
}

// A float mask value as a byte: truncated, NaN and anything not above 0 as 0.
std::uint8_t byteFromFloat(float v) {
    if (!(v > 0.0f)) return 0;
    if (v >= 1.0f) return 255;
    return static_cast<std::uint8_t>(v * 255.0f);
}

}  // namespace

SegmentationLevel segmentationLevel(QualityChoice quality) {
    return static_cast<SegmentationLevel>(2 - static_cast<int>(quality));
}

Segmenter::Segmenter() : Segmenter(installedEngine, installedSubjectEngine) {}

Segmenter::Segmenter(EngineFactory factory, SubjectFactory subject)
    : factory_(std::move(factory)), subjectFactory_(std::move(subject)) {}

SegmentationEngine* Segmenter::engine(SegmentationLevel level) {
    const auto i = static_cast<std::size_t>(level);
    // A missing model is looked for once, not on every frame.
    if (!tried_[i]) {
        engines_[i] = factory_(level);
        tried_[i] = true;
    }
    return engines_[i].get();
}

SegmentationEngine* Segmenter::subjectEngine() {
    if (!triedSubject_ && subjectFactory_) subject_ = subjectFactory_();
    triedSubject_ = true;
    return subject_.get();
}

std::optional<PixelBuffer> Segmenter::run(SegmentationEngine& engine,
                                          const SegmentationInput& input, bool smooth) {
    if (!smooth || lastEngine_ != &engine) engine.resetState();
    return engine.segment(input);
}

void Segmenter::clearHistory() {
    prev_.clear();
    prevW_ = 0;
    prevH_ = 0;
    havePrev_ = false;
    prevPicture_.release();
}

std::optional<Image> Segmenter::mask(const SegmentSource& source, const EffectSettings& settings,
                                     bool smooth) {
    const auto input = inputFor(source);
    if (!input) return std::nullopt;
    std::optional<PixelBuffer> raw;
    if (settings.useSubjectMask) {
        if (SegmentationEngine* subject = subjectEngine()) {
            raw = run(*subject, *input, smooth);
            if (raw && !foundAnything(*raw)) raw.reset();
            if (raw) lastEngine_ = subject;
        }
    }
    if (!raw) {
        SegmentationEngine* person = engine(segmentationLevel(settings.quality));
        if (person == nullptr) return std::nullopt;
        raw = run(*person, *input, smooth);
        if (!raw) return std::nullopt;
        lastEngine_ = person;
    }

    if (!smooth) {
        clearHistory();
        return Image::fromMask(*raw);
    }
    auto blended = smoothed(*raw, pictureAt(input->pixels, raw->width(), raw->height()));
    return Image::fromMask(blended ? *blended : *raw);
}

std::optional<PixelBuffer> Segmenter::smoothed(const PixelBuffer& mask, const cv::Mat& picture) {
    const bool isFloat = mask.format() == PixelFormat::grayF32;
    if (!isFloat && mask.format() != PixelFormat::gray8) return std::nullopt;
    const int w = mask.width();
    const int h = mask.height();
    auto out = PixelBuffer::make(w, h, PixelFormat::gray8);
    if (!out) return std::nullopt;
    const std::size_t count = static_cast<std::size_t>(w) * h;
    if (prevW_ != w || prevH_ != h || prev_.size() != count) {
        prev_.assign(count, 0);
        prevW_ = w;
        prevH_ = h;
        havePrev_ = false;
    }
    const bool blend = havePrev_;
    // Without two pictures of the mask's size to compare, everything counts as moving.
    const bool comparable = blend && picture.size() == cv::Size(w, h) &&
                            prevPicture_.size() == picture.size() && picture.type() == CV_8UC1;
    const cv::Mat motion =
        comparable ? motionBetween(prevPicture_, picture) : cv::Mat(h, w, CV_32F, cv::Scalar(1));
    for (int y = 0; y < h; ++y) {
        const std::uint8_t* in = mask.row(y);
        const float* moved = motion.ptr<float>(y);
        std::uint8_t* o = out->row(y);
        std::uint8_t* history = prev_.data() + static_cast<std::size_t>(y) * w;
        for (int x = 0; x < w; ++x) {
            const int current =
                isFloat ? byteFromFloat(reinterpret_cast<const float*>(in)[x]) : in[x];
            const int value = blend ? blendedValue(current, history[x], moved[x]) : current;
            const auto clamped = static_cast<std::uint8_t>(std::clamp(value, 0, 255));
            history[x] = clamped;
            o[x] = clamped;
        }
    }
    havePrev_ = true;
    prevPicture_ = picture.clone();
    return out;
}

}  // namespace pelliqo
