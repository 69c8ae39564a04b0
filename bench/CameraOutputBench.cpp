#include <benchmark/benchmark.h>

#include <chrono>
#include <opencv2/core.hpp>
#include <thread>
#include <vector>

#include "BenchApplication.h"
#include "PipeWireServer.h"
#include "platform/image/MatView.h"
#include "platform/output/PipeWireOutput.h"
#include "platform/output/Yuyv.h"

namespace pelliqo {
namespace {

PixelBuffer frame(int width, int height) {
    auto buffer = PixelBuffer::make(width, height, PixelFormat::bgra8).value();
    cv::randu(matView(buffer), cv::Scalar::all(0), cv::Scalar::all(256));
    return buffer;
}

// The one conversion a loopback device needs, on a 720p frame.
void yuyvConversion(benchmark::State& state) {
    const PixelBuffer picture = frame(1280, 720);
    std::vector<std::uint8_t> out(1280 * 720 * 2);
    for (auto _ : state) {
        convertToYuyv(picture, out.data(), 1280 * 2);
        benchmark::DoNotOptimize(out.data());
    }
}
BENCHMARK(yuyvConversion)->Unit(benchmark::kMillisecond);

// Publishing 720p frames to a viewer through a private PipeWire, in the format the viewer
// asks for (0: BGRx, copied as it is; 1: YUYV): the time a publish takes on the camera's
// thread, one frame every 33 ms as a camera sends them (faster, most would be dropped).
void pipeWirePublish(benchmark::State& state) {
    prepareBenchApplication();
    test::PipeWireServer server;
    if (!server.running()) return state.SkipWithError("PipeWire, WirePlumber or D-Bus missing");
    const PixelBuffer picture = frame(1280, 720);
    PipeWireOutput output;
    if (output.start(1280, 720, 30)) return state.SkipWithError("no PipeWire camera");
    test::CameraWatcher viewer(state.range(0) ? "YUY2" : "BGRx", 1280, 720, true);
    // Frames flow once the viewer has taken one.
    for (int i = 0; i < 300 && !viewer.sawAFrame(); ++i) {
        output.publish(picture);
        std::this_thread::sleep_for(std::chrono::milliseconds(33));
    }
    if (!viewer.sawAFrame()) return state.SkipWithError("the viewer got no frame");
    for (auto _ : state) {
        if (output.publish(picture)) return state.SkipWithError("publishing failed");
        state.PauseTiming();
        std::this_thread::sleep_for(std::chrono::milliseconds(33));
        state.ResumeTiming();
    }
    state.SetLabel(state.range(0) ? "YUYV" : "BGRx");
}
BENCHMARK(pipeWirePublish)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->Iterations(90);

}  // namespace
}  // namespace pelliqo
