#include <benchmark/benchmark.h>
#include <sys/resource.h>

#include <QEventLoop>
#include <QTemporaryDir>
#include <QTimer>
#include <algorithm>

#include "BenchApplication.h"
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
// second, with the test microphone; fast quality, blur; recording with the original take.
// Counters: frames processed per second, processor cores busy, and the time from a frame's
// capture to its preview reaching the main thread.
void liveRecording(benchmark::State& state) {
    prepareBenchApplication();
    QTemporaryDir dir;
    for (auto _ : state) {
        RecordModel model(makeCaptureBackend({true, true}));
        model.setFolder([&] { return std::filesystem::path(dir.path().toStdString()); });
        model.setKeepOriginal(true);
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
    state.SetLabel("test camera 1280x720@30, fast, blur, recording + original take");
}
BENCHMARK(liveRecording)->Unit(benchmark::kSecond)->UseRealTime()->Iterations(1);

}  // namespace
}  // namespace pelliqo
