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

std::optional<Bitmap> StillFrameGenerator::image(MediaTime time) {
    const double target = time.seconds();
    if (!reader_->seek(target)) return std::nullopt;
    // From the key frame before, decode up to the frame on screen at that time.
    std::optional<VideoSample> shown;
    while (auto sample = reader_->nextVideo()) {
        if (shown && sample->time.seconds() > target + 1e-9) break;
        shown = std::move(sample);
    }
    if (!shown) return std::nullopt;
    Image upright = Image::fromBuffer(shown->frame)->oriented(orientation_);
    const Rect e = upright.extent();
    const double scale = std::min({1.0, maxWidth_ / e.width, maxHeight_ / e.height});
    if (scale < 1.0) upright = upright.scaled(scale, scale);
    return makeBitmap(upright);
}

}  // namespace pelliqo
