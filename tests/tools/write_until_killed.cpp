// Writes a fragmented movie of noise, frame after frame, until it is killed: for the test
// that a recording survives its writer dying.
//   write_until_killed OUTPUT.mp4
#include <chrono>
#include <opencv2/core.hpp>
#include <thread>

#include "platform/image/MatView.h"
#include "platform/media/MovieWriter.h"

int main(int argc, char** argv) {
    using namespace pelliqo;
    if (argc != 2) return 2;
    auto writer = MovieWriter::create(argv[1], MovieFileType::mpeg4, MovieLayout::fragmented);
    if (!writer) return 1;
    MovieWriter& w = *writer.value();
    if (!w.addVideoInput({VideoEncoding::Codec::h264, 64, 48, 1'000'000, {0, 1, 30}, 30}) ||
        !w.startWriting()) {
        return 1;
    }
    auto frame = *PixelBuffer::make(64, 48, PixelFormat::bgra8);
    for (std::int64_t n = 0;; ++n) {
        cv::Mat pixels = matView(frame);
        cv::randu(pixels, cv::Scalar::all(0), cv::Scalar::all(255));
        if (!w.appendVideo(frame, MediaTime{n, 1, 30})) return 1;
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
}
