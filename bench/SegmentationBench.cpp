#include <benchmark/benchmark.h>

#include <opencv2/core.hpp>

#include "engine/Segmenter.h"
#include "platform/MatView.h"

namespace pelliqo {
namespace {

// A frame with some structure in it (segmentation time does not depend on the content).
PixelBuffer frame(int width, int height) {
    auto buffer = *PixelBuffer::make(width, height, PixelFormat::bgra8);
    cv::Mat pixels = matView(buffer);
    cv::randu(pixels, cv::Scalar::all(0), cv::Scalar::all(255));
    return buffer;
}

// One frame through the Segmenter: scaling to the network, inference, smoothing.
void segmentFrame(benchmark::State& state) {
    cv::setNumThreads(2);
    const auto quality = static_cast<QualityChoice>(state.range(0));
    const PixelBuffer input =
        frame(static_cast<int>(state.range(1)), static_cast<int>(state.range(2)));
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
