#include "platform/CaptureInput.h"

#include <mutex>

#include "platform/AVError.h"

extern "C" {
#include <libavdevice/avdevice.h>
}

namespace pelliqo {

namespace {

int interrupted(void* input) {
    return static_cast<CaptureInput*>(input)->running ? 0 : 1;
}

Result<std::unique_ptr<CaptureInput>> openWith(const CaptureSource& source, AVMediaType kind,
                                               bool withOptions) {
    static std::once_flag once;
    std::call_once(once, [] { avdevice_register_all(); });
    const AVInputFormat* format = av_find_input_format(source.format.c_str());
    if (format == nullptr) return fromAVError(AVERROR_DEMUXER_NOT_FOUND);
    auto input = std::make_unique<CaptureInput>();
    AVDictionary* options = nullptr;
    if (withOptions) {
        for (const auto& [key, value] : source.options)
            av_dict_set(&options, key.c_str(), value.c_str(), 0);
    }
    AVFormatContext* raw = avformat_alloc_context();
    raw->interrupt_callback = {&interrupted, input.get()};
    // Reads are interrupted once running is cleared; while opening it stays set.
    input->running = true;
    const int e = avformat_open_input(&raw, source.url.c_str(), format, &options);
    av_dict_free(&options);
    if (e < 0) return fromAVError(e);
    input->format.reset(raw);
    const int found = avformat_find_stream_info(raw, nullptr);
    input->running = false;
    if (found < 0) return fromAVError(found);
    input->streamIndex = av_find_best_stream(raw, kind, -1, -1, nullptr, 0);
    if (input->streamIndex < 0) return fromAVError(input->streamIndex);
    const AVCodecParameters* p = input->parameters();
    const AVCodec* codec = avcodec_find_decoder(p->codec_id);
    if (codec == nullptr) return fromAVError(AVERROR_DECODER_NOT_FOUND);
    input->decoder.reset(avcodec_alloc_context3(codec));
    if (avcodec_parameters_to_context(input->decoder.get(), p) < 0 ||
        avcodec_open2(input->decoder.get(), codec, nullptr) < 0) {
        return fromAVError(AVERROR_DECODER_NOT_FOUND);
    }
    return input;
}

}  // namespace

Result<std::unique_ptr<CaptureInput>> CaptureInput::open(const CaptureSource& source,
                                                         AVMediaType kind) {
    auto input = openWith(source, kind, true);
    if (!input && !source.options.empty()) input = openWith(source, kind, false);
    return input;
}

const AVCodecParameters* CaptureInput::parameters() const {
    return format->streams[streamIndex]->codecpar;
}

}  // namespace pelliqo
