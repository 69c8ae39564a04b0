#include <benchmark/benchmark.h>

#include <opencv2/core.hpp>
#include <opencv2/imgproc.hpp>

#include "BenchFrames.h"
#include "engine/Segmenter.h"
#include "platform/image/ImageFile.h"
#include "platform/image/MatView.h"
#include "platform/image/Motion.h"
#include "platform/inference/VacatedArea.h"

namespace pelliqo {
namespace {

// A photo of the test data, on two threads as the application runs; none (and the benchmark
// skipped) when it cannot be read.
std::optional<PixelBuffer> testPhoto(benchmark::State& state, const char* name) {
    cv::setNumThreads(2);
    auto photo = readImageFile(std::string(PELLIQO_TEST_DATA) + name);
    if (!photo) state.SkipWithError("no test photo");
    return photo;
}

// One frame through the Segmenter: scaling to the network, inference, smoothing; quick as the
// camera asks (its own network sizes where the engine has them).
void segmentFrame(benchmark::State& state) {
    cv::setNumThreads(2);
    const auto quality = static_cast<QualityChoice>(state.range(0));
    const PixelBuffer input =
        noiseFrame(static_cast<int>(state.range(1)), static_cast<int>(state.range(2)));
    EffectSettings settings;
    settings.quality = quality;
    Segmenter segmenter;
    segmenter.setQuick(state.range(3) != 0);
    if (!segmenter.mask(input, settings, true)) {
        state.SkipWithError("no models: run ./scripts/setup");
        return;
    }
    for (auto _ : state) benchmark::DoNotOptimize(segmenter.mask(input, settings, true));
    state.SetLabel(std::string(rawValue(quality)) + (state.range(3) ? ", quick" : ""));
}
BENCHMARK(segmentFrame)
    ->ArgNames({"quality", "width", "height", "quick"})
    ->ArgsProduct({{0, 1, 2}, {1280}, {720}, {0}})
    ->ArgsProduct({{0, 1, 2}, {1920}, {1080}, {0}})
    ->Args({2, 1280, 720, 1})
    ->Unit(benchmark::kMillisecond)
    ->MinTime(2.0);

// The subject mask of a video frame (a cup on a table, scaled to the frame's size), the
// way an export asks for it: scaling to the network, inference, the found-anything test and
// smoothing. The picture has a subject, so the person engine never runs.
void subjectMask(benchmark::State& state) {
    const auto photo = testPhoto(state, "/objects/coffee.png");
    if (!photo) return;
    auto frame = *PixelBuffer::make(static_cast<int>(state.range(0)),
                                    static_cast<int>(state.range(1)), PixelFormat::bgra8);
    cv::resize(matView(*photo), matView(frame), matView(frame).size(), 0, 0, cv::INTER_LINEAR);
    EffectSettings settings;
    settings.quality = QualityChoice::accurate;
    settings.useSubjectMask = true;
    Segmenter segmenter;
    const auto first = segmenter.mask(frame, settings, true);
    if (!first || first->pixels().cols != 320) {
        state.SkipWithError("no subject model: run ./scripts/setup");
        return;
    }
    for (auto _ : state) benchmark::DoNotOptimize(segmenter.mask(frame, settings, true));
}
BENCHMARK(subjectMask)
    ->ArgNames({"width", "height"})
    ->Args({1280, 720})
    ->Args({1920, 1080})
    ->Unit(benchmark::kMillisecond)
    ->MinTime(3.0);

// What the accurate engine adds to a frame with Reduce flicker on: finding where the person
// left (from the picture's motion, which the smoothing measures anyway) and making the
// outline's state forget it there; a photo moving 6 px a frame at 720p, 1.5 px at the
// network's size.
void forgettingWhereLeft(benchmark::State& state) {
    const auto photo = testPhoto(state, "/people/grace_hopper.png");
    if (!photo) return;
    const cv::Size size(static_cast<int>(state.range(0)), static_cast<int>(state.range(1)));
    cv::Mat grey, last, mask(size, CV_8U, cv::Scalar(0));
    cv::cvtColor(matView(*photo), grey, cv::COLOR_BGRA2GRAY);
    cv::resize(grey, grey, size);
    cv::warpAffine(grey, last, cv::Mat_<double>({2, 3}, {1, 0, -1.5, 0, 1, 0}), size);
    cv::ellipse(mask, {size.width / 2, size.height}, {size.width / 4, size.height * 2 / 3}, 0, 0,
                360, cv::Scalar(255), cv::FILLED);
    const int shape[] = {1, 20, size.height / 4, size.width / 4};
    cv::Mat outline(4, shape, CV_32F, cv::Scalar(1));
    const cv::Mat motion = Motion().since(last, grey);
    for (auto _ : state) forgetWhereVacated(outline, vacatedArea(motion, mask), 5, 1.25f);
}
BENCHMARK(forgettingWhereLeft)
    ->ArgNames({"width", "height"})
    ->Args({320, 176})
    ->Args({256, 144})
    ->Unit(benchmark::kMillisecond)
    ->MinTime(1.0);

// Hands out the same mask for every frame: what is left of a mask call is the smoothing.
class FixedMaskEngine : public SegmentationEngine {
  public:
    explicit FixedMaskEngine(cv::Size size)
        : mask_(*PixelBuffer::make(size.width, size.height, PixelFormat::gray8)) {
        cv::Mat view = matView(mask_);
        view.setTo(0);
        cv::circle(view, {size.width / 2, size.height}, size.height * 2 / 3, cv::Scalar(255),
                   cv::FILLED);
    }
    std::optional<PixelBuffer> segment(const SegmentationInput&) override { return mask_; }
    void resetState() override {}

  private:
    PixelBuffer mask_;
};

// The whole smoothing of one 720p frame (the picture at the mask's size, the motion, the
// blend) at a network's mask size, on a photo that moves 6 px a frame; with smoothing off,
// what the call costs without it.
void maskSmoothing(benchmark::State& state) {
    const auto photo = testPhoto(state, "/people/grace_hopper.png");
    if (!photo) return;
    std::vector<PixelBuffer> frames;
    for (const int dx : {0, 6}) {
        auto frame = *PixelBuffer::make(1280, 720, PixelFormat::bgra8);
        cv::Mat scaled;
        cv::resize(matView(*photo), scaled, {1280, 720});
        cv::warpAffine(scaled, matView(frame),
                       cv::Mat_<double>({2, 3}, {1, 0, double(dx), 0, 1, 0}), {1280, 720},
                       cv::INTER_NEAREST, cv::BORDER_REFLECT);
        frames.push_back(std::move(frame));
    }
    const cv::Size maskSize(static_cast<int>(state.range(0)), static_cast<int>(state.range(1)));
    const bool smooth = state.range(2) != 0;
    auto engine = std::make_shared<FixedMaskEngine>(maskSize);
    Segmenter segmenter([engine](SegmentationLevel) { return engine; });
    const EffectSettings settings;
    std::size_t i = 0;
    for (auto _ : state)
        benchmark::DoNotOptimize(segmenter.mask(frames[i++ % 2], settings, smooth));
}
BENCHMARK(maskSmoothing)
    ->ArgNames({"maskWidth", "maskHeight", "smooth"})
    ->ArgsProduct({{256}, {144}, {0, 1}})
    ->Args({256, 256, 1})
    ->Args({320, 176, 1})
    ->Unit(benchmark::kMillisecond)
    ->MinTime(1.0);

}  // namespace
}  // namespace pelliqo
