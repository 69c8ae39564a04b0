#pragma once

#include <filesystem>
#include <opencv2/core.hpp>
#include <string>
#include <vector>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
}

namespace pelliqo::test {

// What a written movie file holds, read back with FFmpeg.
struct Stream {
    AVMediaType kind = AVMEDIA_TYPE_UNKNOWN;
    AVCodecID codec = AV_CODEC_ID_NONE;
    int profile = 0, level = 0, width = 0, height = 0, rate = 0, channels = 0;
    int pixelFormat = -1;
    double start = 0;  // seconds: where the stream starts on the file's own clock
};

std::vector<Stream> streamsOf(const std::filesystem::path& file);
// What the file, or else one of its streams, says under the name; empty when nothing.
std::string tagOf(const std::filesystem::path& file, const char* name);
// The first stream of the kind, or a stream with codec none.
Stream streamOf(const std::filesystem::path& file, AVMediaType kind);
// Every video frame as we read it (BGRA), upright; none when the movie does not open.
std::vector<cv::Mat> framesOf(const std::filesystem::path& file);
std::vector<double> frameTimes(const std::filesystem::path& file);
// Whether a recording was finished: it ends with its fragment index (an "mfro" box), which
// one cut off does not.
bool isFinishedRecording(const std::filesystem::path& file);
// How much sound the file's first audio track holds, in seconds.
double soundSeconds(const std::filesystem::path& file);

}  // namespace pelliqo::test
