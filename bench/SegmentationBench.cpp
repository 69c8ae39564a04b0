#include <benchmark/benchmark.h>

#include <opencv2/core.hpp>

#include "BenchFrames.h"
#include "engine/Segmenter.h"
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

}  // namespace
}  // namespace pelliqo
