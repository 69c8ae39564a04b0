#pragma once

#include <atomic>
#include <filesystem>
#include <memory>

#include "platform/media/MovieWriter.h"
#include "platform/system/SerialQueue.h"

namespace pelliqo {

// A movie writer fed from live sources. Appends wait in a short queue in front of an
// encoder thread; an input whose queue is full is not ready, and the caller drops what
// finds it so. The capture threads therefore never wait for the encoder.
class RealtimeWriter {
  public:
    // Items each input may have waiting: about a tenth of a second of video, a second of
    // sound.
    static constexpr int videoBacklog = 3;
    static constexpr int audioBacklog = 50;

    explicit RealtimeWriter(std::unique_ptr<MovieWriter> writer, std::filesystem::path path);
    ~RealtimeWriter();
    RealtimeWriter(const RealtimeWriter&) = delete;
    RealtimeWriter& operator=(const RealtimeWriter&) = delete;

    MovieWriter& writer() { return *writer_; }
    const std::filesystem::path& path() const { return path_; }
    bool hasAudio() const { return hasAudio_; }
    void setHasAudio(bool hasAudio) { hasAudio_ = hasAudio; }

    bool isReady(MovieWriter::Input input) const;
    void appendVideo(PixelBuffer frame, MediaTime time);
    void appendAudio(AudioSample sample);

    // Encodes what waits, finishes both inputs and closes the file; blocks until done.
    bool finish();
    // Drops what waits and closes the file unfinished; blocks until done.
    void cancel();
    // Removes the file if this writer made it: what was already at its location (even a
    // device such as /dev/full) is never written over, nor deleted.
    void removeFile() const;

    MovieWriter::Status status() const { return writer_->status(); }
    std::optional<PlatformError> error() const { return writer_->error(); }

  private:
    void runAndWait(std::function<void()> work);

    std::unique_ptr<MovieWriter> writer_;
    std::filesystem::path path_;
    bool hasAudio_ = false;
    std::atomic<int> waitingVideo_{0};
    std::atomic<int> waitingAudio_{0};
    std::atomic<bool> dropping_{false};
    SerialQueue encoder_{"pelliqo.encoder"};  // last: joined before the writer goes
};

}  // namespace pelliqo
