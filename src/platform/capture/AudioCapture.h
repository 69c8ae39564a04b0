#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "errors/Result.h"
#include "platform/capture/CaptureInput.h"
#include "platform/media/AudioSample.h"
#include "platform/system/SerialQueue.h"

namespace pelliqo {

// A sound source of the PulseAudio server, or an ALSA device when no server runs.
CaptureSource microphoneSource(const std::string& device);
// The test microphone: a 440 Hz tone at 48 kHz, in real time.
CaptureSource testMicrophoneSource();

// One buffer of captured sound: 16-bit stereo at 48 kHz stamped on the capture clock, and
// each of the device's channels' average power in decibels (0 = full scale).
struct CapturedAudio {
    AudioSample sample;
    std::vector<float> channelPower;
};

// Average power of one channel of samples in −1 … 1, in decibels; silence gives −160.
float averagePowerDecibels(const float* samples, int count, int stride);

// Sound from a capture device, converted to 16-bit stereo at 48 kHz. Every buffer is
// delivered on the given queue, in order.
class AudioCapture {
  public:
    using BufferHandler = std::function<void(const CapturedAudio& audio)>;
    using ErrorHandler = std::function<void(const PlatformError& error)>;

    static Result<std::unique_ptr<AudioCapture>> open(const CaptureSource& source);
    ~AudioCapture();
    AudioCapture(const AudioCapture&) = delete;
    AudioCapture& operator=(const AudioCapture&) = delete;

    // Starts reading on a thread of its own; onError is called (on that thread) when the
    // device fails while running.
    void start(SerialQueue& queue, BufferHandler onBuffer, ErrorHandler onError = {});
    // Stops reading and waits for the reading thread.
    void stop();
    // While paused the device stays open and nothing is read or delivered. Any thread.
    void setPaused(bool paused);

    struct State;

  private:
    explicit AudioCapture(std::shared_ptr<State> state) : state_(std::move(state)) {}
    std::shared_ptr<State> state_;
};

}  // namespace pelliqo
