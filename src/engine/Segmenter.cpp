#include "engine/Segmenter.h"

#include <cmath>

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

std::optional<SegmentationInput> inputFor(const SegmentSource& source) {
    const auto* frame = std::get_if<PixelBuffer>(&source);
    const PixelBuffer& pixels = frame ? *frame : std::get<Bitmap>(source).pixels();
    if (pixels.format() != PixelFormat::bgra8) return std::nullopt;
    return SegmentationInput{matView(pixels)};
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

Segmenter::Segmenter() : Segmenter(installedEngine) {}

Segmenter::Segmenter(EngineFactory factory) : factory_(std::move(factory)) {}

SegmentationEngine* Segmenter::engine(SegmentationLevel level) {
    const auto i = static_cast<std::size_t>(level);
    // A missing model is looked for once, not on every frame.
    if (!tried_[i]) {
        engines_[i] = factory_(level);
        tried_[i] = true;
    }
    return engines_[i].get();
}

void Segmenter::clearHistory() {
    prev_.clear();
    prevW_ = 0;
    prevH_ = 0;
    havePrev_ = false;
}

std::optional<Image> Segmenter::mask(const SegmentSource& source, const EffectSettings& settings,
                                     bool smooth) {
    const SegmentationLevel level = segmentationLevel(settings.quality);
    SegmentationEngine* chosen = engine(level);
    if (chosen == nullptr) return std::nullopt;
    // Memory from another stretch of frames (before a switch of engine, or an unsmoothed
    // call) would bleed into this one.
    if (!smooth || lastLevel_ != level) chosen->resetState();
    lastLevel_ = level;

    const auto input = inputFor(source);
    if (!input) return std::nullopt;
    auto raw = chosen->segment(*input);
    if (!raw) return std::nullopt;

    if (!smooth) {
        clearHistory();
        return Image::fromMask(*raw);
    }
    auto blended = smoothed(*raw);
    return Image::fromMask(blended ? *blended : *raw);
}

std::optional<PixelBuffer> Segmenter::smoothed(const PixelBuffer& mask) {
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
    for (int y = 0; y < h; ++y) {
        const std::uint8_t* in = mask.row(y);
        std::uint8_t* o = out->row(y);
        std::uint8_t* history = prev_.data() + static_cast<std::size_t>(y) * w;
        for (int x = 0; x < w; ++x) {
            const int current =
                isFloat ? byteFromFloat(reinterpret_cast<const float*>(in)[x]) : in[x];
            const int value = blend ? (3 * current + 2 * history[x]) / 5 : current;
            const auto clamped = static_cast<std::uint8_t>(std::clamp(value, 0, 255));
            history[x] = clamped;
            o[x] = clamped;
        }
    }
    havePrev_ = true;
    return out;
}

}  // namespace pelliqo
