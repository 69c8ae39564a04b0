#include "platform/capture/AudioCapture.h"

#include <cmath>
#include <thread>

#include "platform/capture/CaptureDevices.h"
#include "platform/capture/CaptureInput.h"
#include "platform/media/AVError.h"

namespace pelliqo {

CaptureSource microphoneSource(const std::string& device) {
    // ALSA only stands in when no sound server runs, as in the device list.
    if (!soundServerRuns())
        return CaptureSource{"alsa", device, {{"sample_rate", "48000"}, {"channels", "2"}}};
    // Buffers of 20 ms keep the level meter lively and the latency low.
    return CaptureSource{
        "pulse", device, {{"sample_rate", "48000"}, {"channels", "2"}, {"fragment_size", "3840"}}};
}

CaptureSource testMicrophoneSource() {
    return CaptureSource{
        "lavfi", "sine=frequency=440:sample_rate=48000:samples_per_frame=960,arealtime", {}};
}

float averagePowerDecibels(const float* samples, int count, int stride) {
    if (count <= 0) return -160.0f;
    double sum = 0;
    for (int i = 0; i < count; ++i) {
        const double x = samples[static_cast<std::ptrdiff_t>(i) * stride];
        sum += x * x;
    }
    const double mean = sum / count;
    if (mean <= 1e-16) return -160.0f;
    return static_cast<float>(std::max(-160.0, 10.0 * std::log10(mean)));
}

struct AudioCapture::State {
    std::unique_ptr<CaptureInput> input;
    ff::Resampler toFloat;   // the device's layout, as interleaved float for metering
    ff::Resampler toStereo;  // interleaved float, as 16-bit stereo at 48 kHz
    int channels = 0;
    std::thread reader;

    void read(SerialQueue& queue, const BufferHandler& onBuffer, const ErrorHandler& onError);
    std::optional<CapturedAudio> convert(const AVFrame* frame, double arrived);
};

Result<std::unique_ptr<AudioCapture>> AudioCapture::open(const CaptureSource& source) {
    auto input = CaptureInput::open(source, AVMEDIA_TYPE_AUDIO);
    if (!input) return input.error();
    auto state = std::make_shared<State>();
    state->input = std::move(input).value();
    const AVCodecContext* d = state->input->decoder.get();
    state->channels = std::max(1, d->ch_layout.nb_channels);
    AVChannelLayout layout;
    av_channel_layout_default(&layout, state->channels);
    AVChannelLayout stereo = AV_CHANNEL_LAYOUT_STEREO;
    SwrContext* toFloat = nullptr;
    SwrContext* toStereo = nullptr;
    const bool made =
        swr_alloc_set_opts2(&toFloat, &layout, AV_SAMPLE_FMT_FLT, d->sample_rate, &layout,
                            d->sample_fmt, d->sample_rate, 0, nullptr) == 0 &&
        swr_alloc_set_opts2(&toStereo, &stereo, AV_SAMPLE_FMT_S16, AudioSample::rate, &layout,
                            AV_SAMPLE_FMT_FLT, d->sample_rate, 0, nullptr) == 0;
    state->toFloat.reset(toFloat);
    state->toStereo.reset(toStereo);
    if (!made || swr_init(toFloat) < 0 || swr_init(toStereo) < 0)
        return fromAVError(AVERROR(EINVAL));
    return std::unique_ptr<AudioCapture>(new AudioCapture(std::move(state)));
}

AudioCapture::~AudioCapture() {
    stop();
}

void AudioCapture::start(SerialQueue& queue, BufferHandler onBuffer, ErrorHandler onError) {
    stop();
    state_->input->running = true;
    state_->reader =
        std::thread([state = state_, &queue, onBuffer = std::move(onBuffer),
                     onError = std::move(onError)] { state->read(queue, onBuffer, onError); });
}

void AudioCapture::stop() {
    state_->input->running = false;
    if (state_->reader.joinable()) state_->reader.join();
}

void AudioCapture::setPaused(bool paused) {
    state_->input->paused = paused;
}

void AudioCapture::State::read(SerialQueue& queue, const BufferHandler& onBuffer,
                               const ErrorHandler& onError) {
    input->readFrames(
        [&](AVFrame* frame, double arrived) {
            if (auto audio = convert(frame, arrived))
                queue.async([onBuffer, audio = std::move(*audio)] { onBuffer(audio); });
        },
        onError);
}

std::optional<CapturedAudio> AudioCapture::State::convert(const AVFrame* frame, double arrived) {
    const int n = frame->nb_samples;
    std::vector<float> interleaved(static_cast<std::size_t>(n) * channels);
    auto* floatOut = reinterpret_cast<std::uint8_t*>(interleaved.data());
    const int got = swr_convert(toFloat.get(), &floatOut, n,
                                const_cast<const std::uint8_t**>(frame->extended_data), n);
    if (got <= 0) return std::nullopt;
    CapturedAudio audio;
    for (int c = 0; c < channels; ++c)
        audio.channelPower.push_back(averagePowerDecibels(interleaved.data() + c, got, channels));
    const int rate = frame->sample_rate > 0 ? frame->sample_rate : AudioSample::rate;
    const int capacity = swr_get_out_samples(toStereo.get(), got);
    if (capacity <= 0) return std::nullopt;
    audio.sample.samples.resize(static_cast<std::size_t>(capacity) * 2);
    auto* stereoOut = reinterpret_cast<std::uint8_t*>(audio.sample.samples.data());
    const auto* floatIn = reinterpret_cast<const std::uint8_t*>(interleaved.data());
    const int made = swr_convert(toStereo.get(), &stereoOut, capacity, &floatIn, got);
    if (made <= 0) return std::nullopt;
    audio.sample.samples.resize(static_cast<std::size_t>(made) * 2);
    // The buffer's first sample was heard about its length before it arrived.
    const double start = arrived - static_cast<double>(got) / rate;
    audio.sample.time = MediaTime::fromSeconds(start, AudioSample::rate);
    return audio;
}

}  // namespace pelliqo
