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

// A skipped frame's mask is carried along the motion unless the motion was lost over more than
// this share of the picture.
constexpr double carryLostAtMost = 0.1;

// The subject engine found something when any pixel is more likely subject than not.
bool foundAnything(const PixelBuffer& mask) {
    double most = 0;
    cv::minMaxLoc(matView(mask), nullptr, &most);
    return most >= 128;
}

std::optional<PixelBuffer> maskBuffer(const cv::Mat& mask) {
    auto out = PixelBuffer::make(mask.cols, mask.rows, PixelFormat::gray8);
    if (out) mask.copyTo(matView(*out));
    return out;
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

// The picture as grey at the mask's size, each pixel the average of up to 4 × 4 samples so
// that noise cancels. Sampling at whole multiples of the size first keeps the averaging on
// OpenCV's fast path (an area resize by an odd factor costs 7 ms at 1080p, this under 1).
cv::Mat pictureAt(const cv::Mat& bgra, int width, int height) {
    const int room = std::min(bgra.cols / width, bgra.rows / height);
    const int samples = room >= 4 ? 4 : room >= 2 ? 2 : 1;
    cv::Mat grey, small;
    cv::cvtColor(bgra, grey, cv::COLOR_BGRA2GRAY);
    cv::resize(grey, small, cv::Size(width * samples, height * samples), 0, 0, cv::INTER_LINEAR);
    // Halving at a time: an area resize by 2 is OpenCV's fastest (by 4 it costs 30 times more).
    for (int left = samples; left > 1; left /= 2) {
        cv::Mat half;
        cv::resize(small, half, cv::Size(width * left / 2, height * left / 2), 0, 0,
                   cv::INTER_AREA);
        small = half;
    }
    return small;
}

// The same, kept in made for the frame's later steps: remade only at another size.
const cv::Mat& pictureAt(const cv::Mat& bgra, cv::Size size, cv::Mat& made) {
    if (made.size() != size) made = pictureAt(bgra, size.width, size.height);
    return made;
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

std::optional<PixelBuffer> Segmenter::subjectMask(SegmentationEngine& subject,
                                                  const SegmentationInput& input, bool smooth,
                                                  cv::Mat& picture) {
    // The person engine that tells where people moved is the quickest: it runs on every frame.
    SegmentationEngine* person =
        smooth && keyFrames_.every() > 1 ? engine(SegmentationLevel::fast) : nullptr;
    const auto personMask = person ? person->segment(input) : std::nullopt;
    const auto people = [&](cv::Size size) {
        cv::Mat scaled;
        if (personMask && personMask->format() == PixelFormat::gray8)
            cv::resize(matView(*personMask), scaled, size, 0, 0, cv::INTER_LINEAR);
        return scaled;
    };
    const auto found = [](std::optional<PixelBuffer> mask) {
        return mask && foundAnything(*mask) ? std::move(mask) : std::nullopt;
    };
    if (const cv::Size size = keyFrames_.size(); !size.empty()) {
        if (const auto carried =
                keyFrames_.between(people(size), pictureAt(input.pixels, size, picture)))
            return found(maskBuffer(*carried));
    }
    auto made = run(subject, input, smooth);
    if (made && made->format() == PixelFormat::gray8 && personMask) {
        const cv::Size size(made->width(), made->height());
        keyFrames_.keyFrame(matView(*made), people(size), pictureAt(input.pixels, size, picture));
    } else {
        keyFrames_.clear();
    }
    return found(std::move(made));
}

std::optional<Image> Segmenter::mask(const SegmentSource& source, const EffectSettings& settings,
                                     bool smooth) {
    auto input = inputFor(source);
    if (!input) return std::nullopt;
    input->quick = quick_;
    std::optional<PixelBuffer> raw;
    cv::Mat picture;  // the frame in grey at the mask's size, once made
    // A subject mask carried from before the person engine took over would be stale.
    if (!settings.useSubjectMask) keyFrames_.clear();
    if (settings.useSubjectMask) {
        if (SegmentationEngine* subject = subjectEngine()) {
            raw = subjectMask(*subject, *input, smooth, picture);
            if (raw) lastEngine_ = subject;
        }
    }
    if (!raw) {
        SegmentationEngine* person = engine(segmentationLevel(settings.quality));
        if (person == nullptr) return std::nullopt;
        // Measured once for the engine's memory and the smoothing alike.
        if (smooth && !history_.size().empty())
            input->motion = history_.motionTo(pictureAt(input->pixels, history_.size(), picture));
        raw = run(*person, *input, smooth);
        if (!raw) return std::nullopt;
        lastEngine_ = person;
    }

    if (!smooth) {
        history_.clear();
        return Image::fromMask(*raw);
    }
    auto blended = history_.smoothed(
        *raw, pictureAt(input->pixels, cv::Size(raw->width(), raw->height()), picture));
    return Image::fromMask(blended ? *blended : *raw);
}

void Segmenter::restart() {
    history_.clear();
    keyFrames_.clear();
    lastEngine_ = nullptr;  // so that the next engine to run forgets its memory
}

std::optional<Image> Segmenter::carried(const SegmentSource& source) {
    const cv::Size size = history_.size();
    if (size.empty()) return std::nullopt;
    const auto input = inputFor(source);
    if (!input) return std::nullopt;
    // Only the motion: a quicker engine's mask standing in where the picture moves was tried,
    // and alternating two engines' edges flickered five times as much on real footage.
    const auto mask =
        history_.carriedTo(pictureAt(input->pixels, size.width, size.height), carryLostAtMost);
    if (!mask) return std::nullopt;
    return Image::fromMask(*mask);
}

}  // namespace pelliqo
