#pragma once

#include <filesystem>
#include <memory>
#include <optional>

#include "errors/Result.h"
#include "platform/image/Bitmap.h"
#include "platform/media/MovieAsset.h"
#include "platform/media/TrackReader.h"

namespace pelliqo {

// Pictures of a movie at chosen times: the frame shown at that time, turned upright by the
// track's transform and scaled down to fit a maximum size.
class StillFrameGenerator {
  public:
    static Result<std::unique_ptr<StillFrameGenerator>> open(const std::filesystem::path& path,
                                                             const VideoTrack& track, int maxWidth,
                                                             int maxHeight);

    // Nothing when no frame can be had.
    std::optional<Bitmap> image(MediaTime time);

  private:
    StillFrameGenerator(std::unique_ptr<TrackReader> reader, int orientation, int maxWidth,
                        int maxHeight)
        : reader_(std::move(reader)),
          orientation_(orientation),
          maxWidth_(maxWidth),
          maxHeight_(maxHeight) {}
    // The first frame read from the key frame at or before the time.
    std::optional<VideoSample> firstFrameBefore(double seconds);

    std::unique_ptr<TrackReader> reader_;
    int orientation_;
    int maxWidth_;
    int maxHeight_;
};

}  // namespace pelliqo
