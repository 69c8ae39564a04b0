#pragma once

#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "errors/Result.h"
#include "platform/image/PixelBuffer.h"
#include "platform/image/Yuv420.h"
#include "platform/media/AudioSample.h"
#include "platform/media/MediaTime.h"
#include "platform/media/MovieAsset.h"
#include "platform/system/SerialQueue.h"

struct AVFrame;

namespace pelliqo {

enum class MovieFileType { mpeg4, quickTime };

// How the file is laid out. A fragmented file is written in self-contained pieces of about
// a second, so a writer that dies mid-way leaves a playable file holding everything up to
// the last piece: what live recordings need. An ordinary file is only readable once finished.
enum class MovieLayout { whole, fragmented };

struct VideoEncoding {
    enum class Codec { h264, prores4444 };
    Codec codec = Codec::h264;
    int width = 0;
    int height = 0;
    std::int64_t bitRate = 0;       // bits per second
    MediaTime timebase{0, 1, 600};  // the unit of the presentation times given (value unused)
    double frameRate = 0;           // nominal, when known: encoders choose their level by it
    // x264's speed: live recordings trade some compression for keeping up in real time.
    std::string h264Preset = "veryfast";
    // "zerolatency" for live recordings: no frames held back for reordering, so fragments
    // start at their first frame's time.
    std::string h264Tune{};
    // Of the first frame, for editors to line the movie up by (QuickTime's timecode track);
    // needs the frame rate.
    std::string timecode{};
};

struct AudioEncoding {
    int channels = 2;
    int sampleRate = 48000;
    std::int64_t bitRate = 160000;
};

// Writes one movie file: a video input (BGRA frames, encoded as H.264 High or ProRes 4444
// with alpha) and an optional audio input (AAC), each fed from its own thread. Frames keep
// the presentation times they are given. An input asks for data through a block run on a
// queue whenever it is ready; an input running far ahead of the other waits for it, so the
// file stays interleaved without buffering whole tracks.
class MovieWriter {
  public:
    enum class Input { video, audio };
    enum class Status { unknown, writing, completed, failed, cancelled };

    ~MovieWriter();
    MovieWriter(const MovieWriter&) = delete;
    MovieWriter& operator=(const MovieWriter&) = delete;

    static Result<std::unique_ptr<MovieWriter>> create(const std::filesystem::path& path,
                                                       MovieFileType type,
                                                       MovieLayout layout = MovieLayout::whole);

    // False when the encoder refuses these settings.
    bool addVideoInput(const VideoEncoding& encoding);
    bool addAudioInput(const AudioEncoding& encoding);

    // What the file says of itself (before startWriting). Unless it says when it was made,
    // that is now.
    void setMetadata(const MovieMetadata& metadata);
    // Every write past this many bytes fails as on a full disk (for tests); before
    // startWriting.
    void limitOutput(std::uint64_t bytes);
    // Leaves a file or folder already at the path as it is, failing startWriting (EEXIST)
    // instead of writing over it: for names chosen free, which another program may take at
    // the same moment. Before startWriting.
    void keepExistingFiles();
    // Creates the file and writes its header; false with error() on failure.
    bool startWriting();
    // Whether startWriting made a new file, which is then this writer's to remove; only
    // known when existing files are kept.
    bool createdFile() const;

    bool isReadyForMoreMediaData(Input input) const;
    // Runs the block on the queue now and again whenever the input becomes ready, until
    // the input is marked finished; and once more when the writer stops writing (it failed,
    // or was cancelled), so that a block waiting for readiness learns of the end.
    void requestMediaDataWhenReady(Input input, SerialQueue& queue, std::function<void()> block);

    // False with error() when encoding or writing fails.
    bool appendVideo(const PixelBuffer& bgra, MediaTime time);
    // A 4:2:0 frame goes to an H.264 input of its size as it is; any other input refuses it.
    bool appendVideo(const Yuv420Frame& yuv, MediaTime time);
    bool appendAudio(const AudioSample& sample);
    void markAsFinished(Input input);

    // Flushes and closes the file; false with error() when that fails.
    bool finishWriting();
    // Stops and closes the file without finishing it; the caller removes it.
    void cancelWriting();

    Status status() const;
    std::optional<PlatformError> error() const;

    struct State;

  private:
    explicit MovieWriter(std::unique_ptr<State> state);
    // A picture, filled into an encoder-sized frame by fill, encoded at the time.
    bool appendPicture(MediaTime time, const std::function<bool(AVFrame*)>& fill);
    // Fails the writer over a picture it cannot take.
    bool refuseVideo();

    std::unique_ptr<State> state_;
};

// The lowest H.264 level (×10) whose limits hold the frame size, rate and bit rate.
int h264Level(int width, int height, double frameRate, std::int64_t bitRate);

}  // namespace pelliqo
