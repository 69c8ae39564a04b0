#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <optional>
#include <string>

#include "BenchApplication.h"
#include "BenchExport.h"
#include "engine/FrameEffect.h"
#include "engine/MovieFormat.h"
#include "platform/image/Yuv420.h"
#include "platform/media/MovieAsset.h"
#include "platform/media/MovieWriter.h"
#include "platform/media/TrackReader.h"

namespace pelliqo {
namespace {

namespace fs = std::filesystem;

constexpr double clipSeconds = 4;

// A 30 fps clip with sound at the given size, made once.
fs::path clip(int width, int height) {
    const fs::path path =
        fs::temp_directory_path() / ("pelliqo-bench-" + std::to_string(width) + ".mp4");
    if (!fs::exists(path)) {
        const std::string command =
            "ffmpeg -v error -nostdin -y -f lavfi -i testsrc2=size=" + std::to_string(width) + "x" +
            std::to_string(height) + ":rate=30:duration=4 -f lavfi -i sine=duration=4 " +
            "-c:v libx264 -pix_fmt yuv420p -c:a aac '" + path.string() + "'";
        if (std::system(command.c_str()) != 0) return {};
    }
    return path;
}

// One whole export; counters give frames per second and how many times faster than real time.
void exportClip(benchmark::State& state) {
    prepareBenchApplication();
    const int width = static_cast<int>(state.range(1));
    const fs::path input = clip(width, width * 9 / 16);
    if (input.empty()) return state.SkipWithError("ffmpeg could not make the clip");
    EffectSettings settings;
    settings.kind = static_cast<BackgroundKind>(state.range(0));
    settings.quality = static_cast<QualityChoice>(state.range(2));
    const fs::path output = fs::temp_directory_path() / "pelliqo-bench-out.mp4";
    for (auto _ : state) {
        if (!exportMovie(input, output, settings))
            return state.SkipWithError("the export failed (models installed?)");
    }
    state.counters["fps"] = benchmark::Counter(
        clipSeconds * 30 * static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
    state.counters["realtime"] = benchmark::Counter(
        clipSeconds * static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
    state.SetLabel(std::string(rawValue(settings.kind)) + ", " +
                   std::string(rawValue(settings.quality)));
}
// none and blur at fast quality; blur at accurate quality (the window's default).
BENCHMARK(exportClip)
    ->ArgNames({"kind", "width", "quality"})
    ->ArgsProduct({{0, 1}, {1280, 1920}, {static_cast<int>(QualityChoice::fast)}})
    ->ArgsProduct({{1}, {1280, 1920}, {static_cast<int>(QualityChoice::accurate)}})
    ->Unit(benchmark::kSecond)
    ->UseRealTime()
    ->Iterations(1)
    ->Repetitions(3)
    ->ReportAggregatesOnly(true);

// Seconds a shell command takes, or nothing when it fails.
std::optional<double> timed(const std::string& command) {
    const auto start = std::chrono::steady_clock::now();
    if (std::system(command.c_str()) != 0) return std::nullopt;
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

// A fast blur export against a plain FFmpeg transcode of the same clip with the export's
// encoder settings (libx264 veryfast, High, the same bit rate, AAC at 160 kb/s), run right
// before it: "ratio" is how many times longer the export takes.
void exportAgainstTranscode(benchmark::State& state) {
    prepareBenchApplication();
    const int width = static_cast<int>(state.range(0)), height = width * 9 / 16;
    const fs::path input = clip(width, height);
    if (input.empty()) return state.SkipWithError("ffmpeg could not make the clip");
    EffectSettings settings;
    settings.kind = BackgroundKind::blur;
    settings.quality = QualityChoice::fast;
    const fs::path output = fs::temp_directory_path() / "pelliqo-bench-out.mp4";
    const std::string transcode =
        "ffmpeg -v error -nostdin -y -i '" + input.string() +
        "' -c:v libx264 -preset veryfast -profile:v high -pix_fmt yuv420p -b:v " +
        std::to_string(videoBitRate(width, height)) + " -c:a aac -b:a 160k '" +
        (fs::temp_directory_path() / "pelliqo-bench-plain.mp4").string() + "'";
    double plain = 0, ours = 0;
    for (auto _ : state) {
        const auto seconds = timed(transcode);
        if (!seconds) return state.SkipWithError("ffmpeg could not transcode the clip");
        plain += *seconds;
        const auto start = std::chrono::steady_clock::now();
        if (!exportMovie(input, output, settings))
            return state.SkipWithError("the export failed (models installed?)");
        ours += std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    }
    state.counters["fps"] = clipSeconds * 30 * static_cast<double>(state.iterations()) / ours;
    state.counters["ratio"] = ours / plain;
}
BENCHMARK(exportAgainstTranscode)
    ->ArgName("width")
    ->Arg(1920)
    ->Unit(benchmark::kSecond)
    ->UseRealTime()
    ->Iterations(1)
    ->Repetitions(3);

// Where an export's time goes: the stages of the video loop one after another on this
// thread, in milliseconds a frame, on the road the export takes for these clips (4:2:0 from
// the decoder to the encoder). read = decode, mask = the half-size picture, segmentation and
// smoothing, compose = mask scaling, the background and the blend, write = encode.
void exportStages(benchmark::State& state) {
    prepareBenchApplication();
    const int width = static_cast<int>(state.range(0)), height = width * 9 / 16;
    const fs::path input = clip(width, height);
    const MovieAsset asset = MovieAsset::open(input);
    if (input.empty() || !asset.video) return state.SkipWithError("no clip");
    EffectSettings settings;
    settings.kind = BackgroundKind::blur;
    settings.quality = static_cast<QualityChoice>(state.range(1));
    using Clock = std::chrono::steady_clock;
    const auto since = [](Clock::time_point t) {
        return std::chrono::duration<double, std::milli>(Clock::now() - t).count();
    };
    double read = 0, mask = 0, compose = 0, write = 0;
    int frames = 0;
    for (auto _ : state) {
        auto reader = TrackReader::video(input, *asset.video);
        auto writer = MovieWriter::create(fs::temp_directory_path() / "pelliqo-bench-stages.mp4",
                                          MovieFileType::mpeg4);
        if (!reader || !writer || !reader.value()->decodesToMovieYuv())
            return state.SkipWithError("cannot read or write");
        MovieWriter& w = *writer.value();
        w.addVideoInput({VideoEncoding::Codec::h264, width, height, videoBitRate(width, height),
                         asset.video->timebase, 30});
        w.startWriting();
        FrameEffect effect(FrameEffect::Frames::video);
        const auto out = Yuv420Frame::make(width, height);
        for (;;) {
            auto t = Clock::now();
            auto sample = reader.value()->nextYuvVideo();
            if (!sample) break;
            read += since(t);
            t = Clock::now();
            const auto personMask = effect.neededMask(sample->frame, settings);
            mask += since(t);
            t = Clock::now();
            const auto result = effect.composed(sample->frame, personMask, settings, *out);
            compose += since(t);
            if (!result) return state.SkipWithError("a frame failed");
            t = Clock::now();
            w.appendVideo(*result, sample->time);
            write += since(t);
            ++frames;
        }
        const auto t = Clock::now();
        w.markAsFinished(MovieWriter::Input::video);
        w.finishWriting();
        write += since(t);
    }
    const double n = std::max(frames, 1);
    for (const auto& [name, ms] :
         {std::pair{"read", read}, {"mask", mask}, {"compose", compose}, {"write", write}})
        state.counters[name] = ms / n;
    state.SetLabel(std::string(rawValue(settings.quality)) + " blur, ms a frame");
}
BENCHMARK(exportStages)
    ->ArgNames({"width", "quality"})
    ->ArgsProduct({{1920}, {static_cast<int>(QualityChoice::fast)}})
    ->ArgsProduct({{1280, 1920}, {static_cast<int>(QualityChoice::accurate)}})
    ->Unit(benchmark::kSecond)
    ->UseRealTime()
    ->Iterations(1);

}  // namespace
}  // namespace pelliqo
