#pragma once

#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

#include "errors/Result.h"
#include "platform/image/PixelBuffer.h"
#include "platform/image/Yuv420.h"
#include "platform/media/AudioSample.h"
#include "platform/media/MediaTime.h"
#include "platform/media/MovieAsset.h"

struct AVFrame;

namespace pelliqo {

struct VideoSample {
    PixelBuffer frame;  // BGRA, the track's natural size, not yet turned upright
    MediaTime time;     // presentation time, from the movie's start
};

struct YuvVideoSample {
    Yuv420Frame frame;  // the track's natural size, not yet turned upright
    MediaTime time;
};

// Reads one track of a movie from the start: decoded frames as BGRA, or audio as 16-bit
// stereo at 48 kHz. Each reader opens the file on its own, so that a video and an audio
// reader can run on two threads at once.
class TrackReader {
  public:
    ~TrackReader();
    TrackReader(const TrackReader&) = delete;
    TrackReader& operator=(const TrackReader&) = delete;

    // Fails when the track cannot be decoded.
    static Result<std::unique_ptr<TrackReader>> video(const std::filesystem::path& path,
                                                      const VideoTrack& track);
    static Result<std::unique_ptr<TrackReader>> audio(const std::filesystem::path& path,
                                                      const AudioTrack& track);

    // The next frame or audio buffer; nothing at the end or after a failure (see error()).
    std::optional<VideoSample> nextVideo();
    std::optional<AudioSample> nextAudio();

    // Whether the video track holds 4:2:0 pictures of even sides in the colours our movies
    // are written in (BT.709, limited range; untagged HD counts as such), so that
    // nextYuvVideo hands them on as they are, with no conversion a copy would need.
    bool decodesToMovieYuv() const;
    // The next frame as 4:2:0 (a frame in another layout converted, its colours kept).
    std::optional<YuvVideoSample> nextYuvVideo();

    // Goes back to the key frame at or before the time; the next frames follow from there.
    bool seek(double seconds);

    // How far through the file reading has come, by its bytes (0 to 1): the progress of a
    // movie whose length is not known. Nothing when the file's size is not known.
    std::optional<double> fractionRead() const;

    // Set when reading stopped because of a failure rather than at the end.
    const std::optional<PlatformError>& error() const { return error_; }

    struct State;

  private:
    explicit TrackReader(std::unique_ptr<State> state);
    // The next decoded frame of the track (deinterlaced where it is interlaced), or nothing at
    // its end or on failure.
    bool decodeNext();
    // The decoder's next frame.
    bool decodeFrame();
    // Whether an interlaced frame went to a deinterlacer made for it; if not, it is as it was.
    bool startDeinterlacing();
    // The time of the next decoded frame that take(frame) copied out, frames it could not
    // take, and frames without a time, skipped; nothing at the end or on failure.
    std::optional<MediaTime> nextPicture(const std::function<bool(AVFrame*)>& take);
    std::optional<AudioSample> flushAudio();

    std::unique_ptr<State> state_;
    std::optional<PlatformError> error_;
};

}  // namespace pelliqo
