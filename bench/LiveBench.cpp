#include <benchmark/benchmark.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>

#include <QEventLoop>
#include <QTemporaryDir>
#include <QTimer>
#include <algorithm>
#include <mutex>

#include "BenchApplication.h"
#include "PipeWireServer.h"
#include "Processes.h"
#include "live/RecordModel.h"
#include "platform/capture/VideoCapture.h"

namespace pelliqo {
namespace {

constexpr double recordSeconds = 10;

double cpuSeconds() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    const auto seconds = [](const timeval& t) {
        return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_usec) / 1e6;
    };
    return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

double percentile(std::vector<double> values, double p) {
    if (values.empty()) return 0;
    std::sort(values.begin(), values.end());
    return values[static_cast<std::size_t>(p * static_cast<double>(values.size() - 1))];
}

void runLoopFor(double seconds) {
    QEventLoop loop;
    QTimer::singleShot(static_cast<int>(seconds * 1000), &loop, &QEventLoop::quit);
    loop.exec();
}

// The live road as the record screen runs it: the test camera at 1280 × 720, 30 frames a
// second, with the test microphone; blur at the quality given (0 fast, 1 balanced, 2 accurate);
// recording with the original take.
// Counters: frames processed per second, processor cores busy, and the time from a frame's
// capture to its preview reaching the main thread.
void liveRecording(benchmark::State& state) {
    prepareBenchApplication();
    QTemporaryDir dir;
    for (auto _ : state) {
        RecordModel model(makeCaptureBackend({true, true}));
        model.setFolder([&] { return std::filesystem::path(dir.path().toStdString()); });
        model.setKeepOriginal(true);
        EffectSettings settings = model.settings();
        settings.kind = BackgroundKind::blur;
        settings.quality = static_cast<QualityChoice>(state.range(0));
        model.setSettings(settings);
        CameraSource& camera = model.camera();
        camera.refreshDevices();
        camera.setSelectedCameraID(testDeviceID);
        camera.setSelectedMicID(testDeviceID);
        camera.start();
        runLoopFor(2);  // models loaded, the preview running
        if (!model.previewImage()) return state.SkipWithError("no preview (models installed?)");

        std::vector<double> latencies;
        std::vector<double> rates;
        QObject::connect(&model, &RecordModel::previewImageChanged,
                         [&] { latencies.push_back(captureClock() - model.previewFrameTime()); });
        QObject::connect(&model, &RecordModel::fpsChanged, [&] { rates.push_back(model.fps()); });
        model.startRecording();
        if (!model.isRecording()) return state.SkipWithError("the recording did not start");
        const double cpuStart = cpuSeconds();
        const double wallStart = captureClock();
        runLoopFor(recordSeconds);
        const double cores = (cpuSeconds() - cpuStart) / (captureClock() - wallStart);
        model.stopRecording();
        runLoopFor(1);
        camera.stop();

        state.counters["fps"] = percentile(rates, 0.5);
        state.counters["cores"] = cores;
        state.counters["latency_p50_ms"] = percentile(latencies, 0.5) * 1000;
        state.counters["latency_p95_ms"] = percentile(latencies, 0.95) * 1000;
    }
    state.SetLabel("test camera 1280x720@30, blur, recording + original take");
}
BENCHMARK(liveRecording)
    ->ArgName("quality")
    ->Arg(0)
    ->Arg(2)
    ->Unit(benchmark::kSecond)
    ->UseRealTime()
    ->Iterations(1);

// Waits on the main loop until the condition holds, at most the given seconds.
bool runLoopUntil(const std::function<bool()>& condition, double seconds) {
    for (double waited = 0; waited < seconds && !condition(); waited += 0.02) runLoopFor(0.02);
    return condition();
}

// A model offering the test camera (1280 × 720, 30 frames a second) to other apps through
// the private PipeWire, at fast quality with a blurred background, without sound.
std::unique_ptr<RecordModel> offeringTheTestCamera(bool previews) {
    auto model = std::make_unique<RecordModel>(makeCaptureBackend({true, true}));
    EffectSettings settings = model->settings();
    settings.kind = BackgroundKind::blur;
    settings.quality = QualityChoice::fast;
    model->setSettings(settings);
    model->setCameraOutputPlace({CameraOutputPlace::Kind::pipeWire, {}, {}});
    model->setPreviewsWanted(previews);
    model->setMicOn(false);
    model->camera().refreshDevices();
    model->camera().setSelectedCameraID(testDeviceID);
    model->setVirtualCamera(true);
    model->camera().start();
    return model;
}

// The camera for other apps that nobody takes (as `pelliqo camera` runs it): the processor
// cores this process keeps busy while it waits, over five seconds, and the time from a
// viewer connecting to its first processed frame.
void cameraForOtherAppsUnwatched(benchmark::State& state) {
    prepareBenchApplication();
    test::PipeWireServer server;
    if (!server.running()) return state.SkipWithError("PipeWire, WirePlumber or D-Bus missing");
    for (auto _ : state) {
        const auto model = offeringTheTestCamera(false);
        if (!runLoopUntil([&] { return model->camera().isPaused(); }, 10))
            return state.SkipWithError("the camera never rested (models installed?)");
        runLoopFor(1);
        const double cpuStart = cpuSeconds(), wallStart = captureClock();
        runLoopFor(5);
        state.counters["idle_cores"] = (cpuSeconds() - cpuStart) / (captureClock() - wallStart);

        const double connected = captureClock();
        test::CameraWatcher viewer("BGRx", 1280, 720);
        if (!runLoopUntil([&] { return viewer.sawAFrame(); }, 10))
            return state.SkipWithError("the viewer got no frame");
        state.counters["first_frame_ms"] = (captureClock() - connected) * 1000;
        model->camera().stop();
    }
    state.SetLabel("test camera 1280x720@30, fast, blur, no preview");
}
BENCHMARK(cameraForOtherAppsUnwatched)->Unit(benchmark::kSecond)->UseRealTime()->Iterations(1);

// The camera for other apps taken by a viewer while the preview runs: how long from a
// frame's capture to its publication to the viewer and to the preview reaching the main
// thread (p50, p95), the rate and the cores busy, over ten seconds.
void cameraForOtherAppsLatency(benchmark::State& state) {
    prepareBenchApplication();
    test::PipeWireServer server;
    if (!server.running()) return state.SkipWithError("PipeWire, WirePlumber or D-Bus missing");
    for (auto _ : state) {
        std::mutex lock;
        std::vector<double> published, previewed, rates;
        const auto model = offeringTheTestCamera(true);
        test::CameraWatcher viewer("BGRx", 1280, 720, true);
        if (!runLoopUntil([&] { return viewer.sawAFrame(); }, 20))
            return state.SkipWithError("the viewer got no frame (models installed?)");
        runLoopFor(1);
        model->setOnPublished([&](double captured) {
            std::lock_guard guard(lock);
            published.push_back(captureClock() - captured);
        });
        QObject::connect(model.get(), &RecordModel::previewImageChanged,
                         [&] { previewed.push_back(captureClock() - model->previewFrameTime()); });
        QObject::connect(model.get(), &RecordModel::fpsChanged,
                         [&] { rates.push_back(model->fps()); });
        const double cpuStart = cpuSeconds(), wallStart = captureClock();
        runLoopFor(recordSeconds);
        const double cores = (cpuSeconds() - cpuStart) / (captureClock() - wallStart);
        model->camera().stop();
        runLoopFor(0.2);
        std::lock_guard guard(lock);
        state.counters["fps"] = percentile(rates, 0.5);
        state.counters["cores"] = cores;
        state.counters["publish_p50_ms"] = percentile(published, 0.5) * 1000;
        state.counters["publish_p95_ms"] = percentile(published, 0.95) * 1000;
        state.counters["preview_p50_ms"] = percentile(previewed, 0.5) * 1000;
        state.counters["preview_p95_ms"] = percentile(previewed, 0.95) * 1000;
    }
    state.SetLabel("test camera 1280x720@30, fast, blur, preview + PipeWire viewer");
}
BENCHMARK(cameraForOtherAppsLatency)->Unit(benchmark::kSecond)->UseRealTime()->Iterations(1);

// What reading a webcam costs at 1280 × 720, 30 frames a second, from a pipe as a camera
// delivers them: 0 raw YUYV, 1 Motion-JPEG (decoded on the capture thread); both converted
// to BGRA. Cores busy in this process over five seconds, and frames delivered a second.
void cameraReading(benchmark::State& state) {
    prepareBenchApplication();
    const bool jpeg = state.range(0) == 1;
    for (auto _ : state) {
        QTemporaryDir dir;
        const std::string fifo = dir.filePath("camera").toStdString();
        mkfifo(fifo.c_str(), 0600);
        std::vector<std::string> encoder{"ffmpeg",
                                         "-nostdin",
                                         "-re",
                                         "-f",
                                         "lavfi",
                                         "-i",
                                         "testsrc2=size=1280x720:rate=30:duration=8"};
        for (const char* a :
             jpeg ? std::vector<const char*>{"-c:v", "mjpeg", "-f", "mjpeg"}
                  : std::vector<const char*>{"-pix_fmt", "yuyv422", "-f", "rawvideo"})
            encoder.emplace_back(a);
        encoder.insert(encoder.end(), {"-y", fifo});
        const int camera = test::spawnProgram(encoder);
        const CaptureSource source = jpeg ? CaptureSource{"mjpeg", fifo, {}}
                                          : CaptureSource{"rawvideo",
                                                          fifo,
                                                          {{"video_size", "1280x720"},
                                                           {"pixel_format", "yuyv422"},
                                                           {"framerate", "30"}}};
        auto capture = VideoCapture::open(source);
        if (!capture) {
            kill(camera, SIGKILL);
            return state.SkipWithError("the camera stream did not open");
        }
        SerialQueue queue("pelliqo.bench");
        std::atomic<int> frames{0};
        capture.value()->start(queue, [&](const PixelBuffer&, double) { ++frames; });
        runLoopFor(1);
        const int framesStart = frames;
        const double cpuStart = cpuSeconds(), wallStart = captureClock();
        runLoopFor(5);
        const double wall = captureClock() - wallStart;
        state.counters["cores"] = (cpuSeconds() - cpuStart) / wall;
        state.counters["fps"] = (frames - framesStart) / wall;
        capture.value()->stop();
        kill(camera, SIGKILL);
    }
    state.SetLabel(jpeg ? "Motion-JPEG" : "raw YUYV");
}
BENCHMARK(cameraReading)->Arg(0)->Arg(1)->Unit(benchmark::kSecond)->UseRealTime()->Iterations(1);

}  // namespace
}  // namespace pelliqo
