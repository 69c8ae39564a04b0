#include <benchmark/benchmark.h>

#include <opencv2/core.hpp>

#include "platform/image/ToneMapping.h"

namespace pelliqo {
namespace {

// A 1080p PQ frame of wide-gamut noise to BGRA, as a phone's HDR movie is read.
void toneMapping(benchmark::State& state) {
    cv::setNumThreads(2);
    std::array<cv::Mat, 3> planes;
    for (cv::Mat& plane : planes) {
        plane.create(1080, 1920, CV_16UC1);
        cv::randu(plane, cv::Scalar(0), cv::Scalar(65535));
    }
    const ToneMapping mapping(HdrTransfer::pq, true, 1000);
    cv::Mat bgra;
    for (auto _ : state) {
        mapping.apply(planes, bgra);
        benchmark::DoNotOptimize(bgra.data);
    }
}
BENCHMARK(toneMapping)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace
}  // namespace pelliqo
