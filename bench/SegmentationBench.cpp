#include <benchmark/benchmark.h>

#include <opencv2/core.hpp>
#include <opencv2/imgproc.hpp>

#include "BenchFrames.h"
#include "engine/Segmenter.h"
#include "platform/image/ImageFile.h"
#include "platform/image/MatView.h"

namespace pelliqo {
namespace {

// One frame through the Segmenter: scaling to the network, inference, smoothing.
void segmentFrame(benchmark::State& state) {
    cv::setNumThreads(2);
    const auto quality = static_cast<QualityChoice>(state.range(0));
    const PixelBuffer input =
        noiseFrame(static_cast<int>(state.range(1)), static_cast<int>(state.range(2)));
    EffectSettings settings;
    settings.quality = quality;
    Segmenter segmenter;
    if (!segmenter.mask(input, settings, true)) {
        state.SkipWithError("no models: run ./scripts/setup");
        return;
    }
    for (auto _ : state) benchmark::DoNotOptimize(segmenter.mask(input, settings, true));
    state.SetLabel(std::string(rawValue(quality)));
}
BENCHMARK(segmentFrame)
    ->ArgNames({"quality", "width", "height"})
    ->ArgsProduct({{0, 1, 2}, {1280}, {720}})
    ->ArgsProduct({{0, 1, 2}, {1920}, {1080}})
    ->Unit(benchmark::kMillisecond)
    ->MinTime(2.0);

// The subject mask of a video frame (a cup on a table, scaled to the frame's size), the
// way an export asks for it: scaling to the network, inference, the found-anything test and
// smoothing. The picture has a subject, so the person engine never runs.
void subjectMask(benchmark::State& state) {
    cv::setNumThreads(2);
    const auto photo = readImageFile(PELLIQO_TEST_DATA "/objects/coffee.png");
    if (!photo) {
        state.SkipWithError("no test photo");
        return;
    }
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

}  // namespace
}  // namespace pelliqo
