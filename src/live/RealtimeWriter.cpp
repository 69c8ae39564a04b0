#include "live/RealtimeWriter.h"

#include <future>

namespace pelliqo {

RealtimeWriter::RealtimeWriter(std::unique_ptr<MovieWriter> writer, std::filesystem::path path)
    : writer_(std::move(writer)), path_(std::move(path)) {
    writer_->keepExistingFiles();
}

RealtimeWriter::~RealtimeWriter() {
    dropping_ = true;
}

bool RealtimeWriter::isReady(MovieWriter::Input input) const {
    if (dropping_ || writer_->status() != MovieWriter::Status::writing) return false;
    return input == MovieWriter::Input::video ? waitingVideo_ < videoBacklog
                                              : waitingAudio_ < audioBacklog;
}

void RealtimeWriter::appendVideo(PixelBuffer frame, MediaTime time) {
    ++waitingVideo_;
    encoder_.async([this, frame = std::move(frame), time] {
        if (!dropping_) writer_->appendVideo(frame, time);
        --waitingVideo_;
    });
}

void RealtimeWriter::appendAudio(AudioSample sample) {
    ++waitingAudio_;
    encoder_.async([this, sample = std::move(sample)] {
        if (!dropping_) writer_->appendAudio(sample);
        --waitingAudio_;
    });
}

void RealtimeWriter::runAndWait(std::function<void()> work) {
    std::promise<void> done;
    encoder_.async([&] {
        work();
        done.set_value();
    });
    done.get_future().wait();
}

bool RealtimeWriter::finish() {
    bool finished = false;
    runAndWait([&] {
        if (writer_->status() != MovieWriter::Status::writing) return;
        writer_->markAsFinished(MovieWriter::Input::video);
        if (hasAudio_) writer_->markAsFinished(MovieWriter::Input::audio);
        finished = writer_->finishWriting();
    });
    return finished;
}

void RealtimeWriter::cancel() {
    dropping_ = true;
    runAndWait([&] { writer_->cancelWriting(); });
}

void RealtimeWriter::removeFile() const {
    if (!writer_->createdFile()) return;
    std::error_code ignored;
    if (std::filesystem::is_regular_file(path_, ignored)) std::filesystem::remove(path_, ignored);
}

}  // namespace pelliqo
