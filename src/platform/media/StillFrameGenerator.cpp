#include "platform/media/StillFrameGenerator.h"

#include <algorithm>

#include "platform/image/Image.h"
#include "platform/image/Rendering.h"

namespace pelliqo {

Result<std::unique_ptr<StillFrameGenerator>> StillFrameGenerator::open(
    const std::filesystem::path& path, const VideoTrack& track, int maxWidth, int maxHeight) {
    auto reader = TrackReader::video(path, track);
    if (!reader) return reader.error();
    return std::unique_ptr<StillFrameGenerator>(new StillFrameGenerator(
        std::move(reader).value(), exifOrientation(track.preferredTransform), maxWidth, maxHeight));
}

std::optional<VideoSample> StillFrameGenerator::firstFrameBefore(double seconds) {
    // Seeking by time lands past it in some containers (MPEG-TS finds its way by the clock it
    // sends, which runs ahead of the pictures): step back further until it does not.
    for (double back = 0;; back = std::max(1.0, back * 2)) {
        const double from = std::max(seconds - back, 0.0);
        if (!reader_->seek(from)) return std::nullopt;
        auto first = reader_->nextVideo();
        if ((first && first->time.seconds() <= seconds + 1e-9) || from == 0) return first;
    }
}

std::optional<Bitmap> StillFrameGenerator::image(MediaTime time) {
    const double target = time.seconds();
    // From the key frame before, decode up to the frame on screen at that time.
    std::optional<VideoSample> shown = firstFrameBefore(target);
    if (!shown) return std::nullopt;
    while (auto sample = reader_->nextVideo()) {
        if (sample->time.seconds() > target + 1e-9) break;
        shown = std::move(sample);
    }
    Image upright = Image::fromBuffer(shown->frame)->oriented(orientation_);
    const Rect e = upright.extent();
    const double scale = std::min({1.0, maxWidth_ / e.width, maxHeight_ / e.height});
    if (scale < 1.0) upright = upright.scaled(scale, scale);
    return makeBitmap(upright);
}

}  // namespace pelliqo
