#include <benchmark/benchmark.h>

#include <filesystem>
#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>

#include "BenchFrames.h"
#include "engine/BufferPool.h"
#include "engine/Compositor.h"
#include "engine/GuidedFilter.h"
#include "platform/image/MatView.h"
#include "platform/image/Rendering.h"
#include "platform/system/Memory.h"

namespace pelliqo {
namespace {

// A person-like blob at the fast engine's resolution.
Image mask() {
    cv::Mat m(144, 256, CV_32F, cv::Scalar(0));
    cv::ellipse(m, {128, 100}, {60, 90}, 0, 0, 360, cv::Scalar(1), cv::FILLED);
    cv::GaussianBlur(m, m, {5, 5}, 1.5);
    return Image::fromPixels(m);
}

std::string picturePath() {
    static const std::string path = [] {
        const auto file = std::filesystem::temp_directory_path() / "pelliqo-bench-picture.jpg";
        cv::Mat picture(1280, 1920, CV_8UC3);
        cv::randu(picture, cv::Scalar::all(0), cv::Scalar::all(255));
        cv::imwrite(file.string(), picture);
        return file.string();
    }();
    return path;
}

// One finished frame: compose, then render into a pooled output buffer.
void composeFrame(benchmark::State& state) {
    cv::setNumThreads(2);
    keepFrameBuffersInProcess();  // as the program does
    const int width = static_cast<int>(state.range(1)), height = width * 9 / 16;
    EffectSettings settings;
    settings.kind = static_cast<BackgroundKind>(state.range(0));
    settings.edgeSoftness = 2;
    settings.edgeShift = static_cast<double>(state.range(2));
    settings.picturePath = picturePath();
    const PixelBuffer input = noiseFrame(width, height);
    const Image source = *Image::fromBuffer(input);
    const Image m = mask();
    Compositor compositor;
    BufferPool pool;
    for (auto _ : state) {
        const Image finished = compositor.compose(source, m, settings);
        auto out = pool.get(width, height);
        renderInto(finished, *out);
        benchmark::DoNotOptimize(out->data());
    }
    state.SetLabel(std::string(rawValue(settings.kind)));
}
BENCHMARK(composeFrame)
    ->ArgNames({"kind", "width", "shift"})
    ->ArgsProduct({{1, 2, 3, 4}, {1280, 1920}, {0, 2}})
    ->Unit(benchmark::kMillisecond);

// The mask brought to the frame's size along the frame's edges, grey guide included.
void guidedScaling(benchmark::State& state) {
    cv::setNumThreads(2);
    const int width = static_cast<int>(state.range(0)), height = width * 9 / 16;
    const PixelBuffer input = noiseFrame(width, height);
    const cv::Mat m = mask().pixels();
    for (auto _ : state) {
        cv::Mat grey;
        cv::cvtColor(matView(input), grey, cv::COLOR_BGRA2GRAY);
        benchmark::DoNotOptimize(GuidedFilter{}.upscaled(m, grey, grey.size()).data);
    }
}
BENCHMARK(guidedScaling)->ArgName("width")->Arg(1280)->Arg(1920)->Unit(benchmark::kMillisecond);

void previewBitmap(benchmark::State& state) {
    cv::setNumThreads(2);
    const PixelBuffer input = noiseFrame(1920, 1080);
    const Image source = *Image::fromBuffer(input);
    Compositor compositor;
    for (auto _ : state) benchmark::DoNotOptimize(compositor.makeCGImage(source, 960));
}
BENCHMARK(previewBitmap)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace pelliqo
