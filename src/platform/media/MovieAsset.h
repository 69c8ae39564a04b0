#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "platform/media/MediaTime.h"

namespace pelliqo {

struct VideoTrack {
    int streamIndex = -1;
    int naturalWidth = 0;
    int naturalHeight = 0;
    AffineTransform preferredTransform;
    double nominalFrameRate = 0;
    MediaTime timebase{0, 1, 90000};  // the unit of the track's presentation times
    std::string timecode;             // of its first frame ("10:00:00:00"), when it has one
};

// Names and values, as the file gives them.
using MovieMetadata = std::vector<std::pair<std::string, std::string>>;

struct AudioTrack {
    int streamIndex = -1;
    int sampleRate = 0;
    int channels = 0;
};

// What a movie file holds: readable or not, its duration, its first video and audio track.
struct MovieAsset {
    bool isReadable = false;  // it opens and has a stream we can decode
    double duration = 0;      // seconds
    std::optional<VideoTrack> video;
    std::optional<AudioTrack> audio;
    // What the file says of itself that a copy keeps: when and where it was made, its title;
    // not what describes its own making (brands, encoder).
    MovieMetadata metadata;

    static MovieAsset open(const std::filesystem::path& path);
};

// The EXIF orientation that turns a track upright (1 up, 3 down, 6 right, 8 left), by
// exact comparison of its transform.
int exifOrientation(const AffineTransform& transform);

// The transform stored as a stream's display matrix, as the movie's 16.16 fixed-point
// matrix holds it.
AffineTransform transformFromDisplayMatrix(const std::int32_t matrix[9]);

}  // namespace pelliqo
