#pragma once

// RAII holders for FFmpeg's objects, each freed with its own function.
extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libswresample/swresample.h>
#include <libswscale/swscale.h>
}

#include <filesystem>
#include <memory>

namespace pelliqo::ff {

struct FormatInputCloser {
    void operator()(AVFormatContext* c) const { avformat_close_input(&c); }
};
struct CodecContextFreer {
    void operator()(AVCodecContext* c) const { avcodec_free_context(&c); }
};
struct FrameFreer {
    void operator()(AVFrame* f) const { av_frame_free(&f); }
};
struct PacketFreer {
    void operator()(AVPacket* p) const { av_packet_free(&p); }
};
struct SwsFreer {
    void operator()(SwsContext* s) const { sws_freeContext(s); }
};
struct SwrFreer {
    void operator()(SwrContext* s) const { swr_free(&s); }
};

using InputFormat = std::unique_ptr<AVFormatContext, FormatInputCloser>;
using CodecContext = std::unique_ptr<AVCodecContext, CodecContextFreer>;
using Frame = std::unique_ptr<AVFrame, FrameFreer>;
using Packet = std::unique_ptr<AVPacket, PacketFreer>;
using Scaler = std::unique_ptr<SwsContext, SwsFreer>;
using Resampler = std::unique_ptr<SwrContext, SwrFreer>;

// Opens a file on this machine as one, whatever its name: FFmpeg would take "take:2.mp4" for
// a protocol named "take", and "http://…" for the network.
inline int openInputFile(InputFormat& format, const std::filesystem::path& path) {
    AVFormatContext* raw = nullptr;
    const int e = avformat_open_input(&raw, ("file:" + path.string()).c_str(), nullptr, nullptr);
    format.reset(raw);
    return e;
}

}  // namespace pelliqo::ff
