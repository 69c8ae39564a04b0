#include "platform/media/AVError.h"

extern "C" {
#include <libavutil/error.h>
}

namespace pelliqo {

namespace {
// errno values are small; FFmpeg's own codes are negated four-character tags.
constexpr int largestErrno = 4095;
}  // namespace

PlatformError fromAVError(int averror) {
    if (averror < 0 && averror >= -largestErrno) return PlatformError::posix(-averror);
    char buffer[AV_ERROR_MAX_STRING_SIZE] = {};
    av_strerror(averror, buffer, sizeof buffer);
    return PlatformError{std::string(domain::ffmpeg), averror, buffer, std::nullopt, nullptr};
}

}  // namespace pelliqo
