#include <benchmark/benchmark.h>

#include <cstring>

#include "engine/BufferPool.h"
#include "engine/EffectSettings.h"
#include "engine/Locked.h"

namespace pelliqo {
namespace {

// One frame's worth of buffer traffic: take a buffer, touch every row, let it go.
void touchRows(PixelBuffer& buffer) {
    for (int y = 0; y < buffer.height(); ++y) buffer.row(y)[0] = static_cast<std::uint8_t>(y);
}

void pooledFrame(benchmark::State& state) {
    const int width = static_cast<int>(state.range(0));
    const int height = static_cast<int>(state.range(1));
    BufferPool pool;
    for (auto _ : state) {
        auto buffer = pool.get(width, height);
        touchRows(*buffer);
        benchmark::DoNotOptimize(buffer->data());
    }
}
BENCHMARK(pooledFrame)->Args({1280, 720})->Args({1920, 1080});

void freshFrame(benchmark::State& state) {
    const int width = static_cast<int>(state.range(0));
    const int height = static_cast<int>(state.range(1));
    for (auto _ : state) {
        auto buffer = PixelBuffer::make(width, height, PixelFormat::bgra8);
        touchRows(*buffer);
        benchmark::DoNotOptimize(buffer->data());
    }
}
BENCHMARK(freshFrame)->Args({1280, 720})->Args({1920, 1080});

// The per-frame settings copy the pipelines take from their locked box.
void settingsCopy(benchmark::State& state) {
    Locked<EffectSettings> box(EffectSettings{});
    for (auto _ : state) {
        EffectSettings copy = box.get();
        benchmark::DoNotOptimize(copy);
    }
}
BENCHMARK(settingsCopy);

}  // namespace
}  // namespace pelliqo
