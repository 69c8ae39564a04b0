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

struct BenchClip {
    fs::path path;  // empty when it could not be made
    double frames = 0;
    double seconds = 0;
};

// A clip at the given size, made once: FFmpeg's test pattern (30 fps, 4 s, with sound), or
// real people walking, the first 12 s of opencv-doc's vtest.avi (10 fps) scaled and cropped
// to the size and encoded as a camera or phone would, H.264 High with AAC.
BenchClip clip(int width, int height, bool footage) {
    const std::string size = std::to_string(width) + "x" + std::to_string(height);
    const fs::path path = fs::temp_directory_path() /
                          ("pelliqo-bench-" + std::string(footage ? "vtest-" : "") + size + ".mp4");
    const std::string source =
        footage ? "-i /usr/share/doc/opencv-doc/examples/data/vtest.avi -f lavfi -i sine -t 12 "
                  "-vf scale=" +
                      std::to_string(width) + ":" + std::to_string(width * 3 / 4) +
                      ",crop=" + std::to_string(width) + ":" + std::to_string(height) +
                      " -profile:v high -crf 20"
                : "-f lavfi -i testsrc2=size=" + size +
                      ":rate=30:duration=4 -f lavfi -i "
                      "sine=duration=4";
    const std::string command = "ffmpeg -v error -nostdin -y " + source +
                                " -c:v libx264 -pix_fmt yuv420p -c:a aac '" + path.string() + "'";
    if (!fs::exists(path) && std::system(command.c_str()) != 0) return {};
    return footage ? BenchClip{path, 120, 12} : BenchClip{path, 120, 4};
}

// One whole export; counters give frames per second and how many times faster than real time.
void exportClip(benchmark::State& state) {
    prepareBenchApplication();
    const int width = static_cast<int>(state.range(1));
    const BenchClip input = clip(width, width * 9 / 16, state.range(4) != 0);
    if (input.path.empty()) return state.SkipWithError("ffmpeg could not make the clip");
    EffectSettings settings;
    settings.kind = static_cast<BackgroundKind>(state.range(0));
    settings.quality = static_cast<QualityChoice>(state.range(2));
    settings.useSubjectMask = state.range(3) != 0;
    const fs::path output = fs::temp_directory_path() / "pelliqo-bench-out.mp4";
    for (auto _ : state) {
        if (!exportMovie(input.path, output, settings))
            return state.SkipWithError("the export failed (models installed?)");
    }
    const auto runs = static_cast<double>(state.iterations());
    state.counters["fps"] = benchmark::Counter(input.frames * runs, benchmark::Counter::kIsRate);
    state.counters["realtime"] =
        benchmark::Counter(input.seconds * runs, benchmark::Counter::kIsRate);
    state.SetLabel(std::string(rawValue(settings.kind)) + ", " +
                   std::string(settings.useSubjectMask ? "subject" : rawValue(settings.quality)) +
                   (state.range(4) ? ", footage" : ", test pattern"));
}
// none and blur at fast quality; blur at accurate quality; blur with the subject mask (the
// window's default); on the test pattern and on footage.
constexpr int fast = static_cast<int>(QualityChoice::fast);
constexpr int accurate = static_cast<int>(QualityChoice::accurate);
BENCHMARK(exportClip)
    ->ArgNames({"kind", "width", "quality", "subject", "footage"})
    ->ArgsProduct({{0, 1}, {1280, 1920}, {fast}, {0}, {0, 1}})
    ->ArgsProduct({{1}, {1280, 1920}, {accurate}, {0}, {0, 1}})
    ->ArgsProduct({{1}, {1280}, {accurate}, {1}, {0, 1}})
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
    const BenchClip input = clip(width, height, state.range(1) != 0);
    if (input.path.empty()) return state.SkipWithError("ffmpeg could not make the clip");
    EffectSettings settings;
    settings.kind = BackgroundKind::blur;
    settings.quality = QualityChoice::fast;
    const fs::path output = fs::temp_directory_path() / "pelliqo-bench-out.mp4";
    const std::string transcode =
        "ffmpeg -v error -nostdin -y -i '" + input.path.string() +
        "' -c:v libx264 -preset veryfast -profile:v high -pix_fmt yuv420p -b:v " +
        std::to_string(videoBitRate(width, height)) + " -c:a aac -b:a 160k '" +
        (fs::temp_directory_path() / "pelliqo-bench-plain.mp4").string() + "'";
    double plain = 0, ours = 0;
    for (auto _ : state) {
        const auto seconds = timed(transcode);
        if (!seconds) return state.SkipWithError("ffmpeg could not transcode the clip");
        plain += *seconds;
        const auto start = std::chrono::steady_clock::now();
        if (!exportMovie(input.path, output, settings))
            return state.SkipWithError("the export failed (models installed?)");
        ours += std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    }
    state.counters["fps"] = input.frames * static_cast<double>(state.iterations()) / ours;
    state.counters["ratio"] = ours / plain;
    state.SetLabel(state.range(1) ? "footage" : "test pattern");
}
BENCHMARK(exportAgainstTranscode)
    ->ArgNames({"width", "footage"})
    ->ArgsProduct({{1920}, {0, 1}})
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
    const fs::path input = clip(width, height, false).path;
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
