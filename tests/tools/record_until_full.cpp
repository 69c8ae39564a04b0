//   record_until_full FOLDER
// Records noise until the disk is full; exits 0 when that was reported as a full disk, every
// kept file opens, and nothing else was left.
#include <algorithm>
#include <chrono>
#include <future>
#include <iostream>
#include <opencv2/core.hpp>
#include <thread>

#include "errors/ErrorInfo.h"
#include "live/LiveRecorder.h"
#include "platform/image/MatView.h"
#include "platform/media/MovieAsset.h"

int main(int argc, char** argv) {
    using namespace pelliqo;
    namespace fs = std::filesystem;
    if (argc != 2) return 2;
    const fs::path folder = argv[1];
    LiveRecorder recorder;
    std::promise<std::pair<PlatformError, std::vector<fs::path>>> failed;
    recorder.onFailure = [&](const PlatformError& e, const std::vector<fs::path>& kept) {
        failed.set_value({e, kept});
    };
    auto files = LiveRecorder::open(
        {320, 240, false, false, folder / "full.mp4", folder / "full (original).mp4"});
    if (!files) {
        std::cout << "could not start\n";
        return 1;
    }
    recorder.start(std::move(files).value());
    auto frame = *PixelBuffer::make(320, 240, PixelFormat::bgra8);
    for (int i = 0; i < 3000 && recorder.active(); ++i) {
        cv::randu(matView(frame), cv::Scalar::all(0), cv::Scalar::all(256));
        recorder.appendVideo(frame, {frame, i / 30.0});
        std::this_thread::sleep_for(std::chrono::milliseconds(3));
    }
    auto report = failed.get_future();
    if (report.wait_for(std::chrono::seconds(30)) != std::future_status::ready) {
        std::cout << "no failure reported\n";
        return 1;
    }
    const auto [error, kept] = report.get();
    std::cout << "error: " << error.description << "\n";
    bool sound = true;
    for (const fs::path& file : kept) {
        const MovieAsset asset = MovieAsset::open(file);
        std::cout << "kept: " << file.filename() << " " << asset.duration << " s\n";
        sound = sound && asset.isReadable;
    }
    for (const fs::directory_entry& left : fs::directory_iterator(folder)) {
        if (std::find(kept.begin(), kept.end(), left.path()) != kept.end()) continue;
        std::cout << "left behind: " << left.path().filename() << "\n";
        sound = false;
    }
    return ErrorInfo::isDiskFull(error) && sound ? 0 : 1;
}
