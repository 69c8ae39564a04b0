#include "platform/media/Deinterlacer.h"

#include <string>
#include <tuple>

extern "C" {
#include <libavfilter/avfilter.h>
#include <libavfilter/buffersink.h>
#include <libavfilter/buffersrc.h>
}

namespace pelliqo {

void Deinterlacer::GraphFreer::operator()(AVFilterGraph* g) const {
    avfilter_graph_free(&g);
}

std::optional<Deinterlacer> Deinterlacer::make(const AVFrame& like, AVRational timeBase) {
    Deinterlacer d;
    d.graph_.reset(avfilter_graph_alloc());
    if (!d.graph_) return std::nullopt;
    const AVRational aspect =
        like.sample_aspect_ratio.num > 0 ? like.sample_aspect_ratio : AVRational{1, 1};
    const std::string source =
        "video_size=" + std::to_string(like.width) + "x" + std::to_string(like.height) +
        ":pix_fmt=" + std::to_string(like.format) + ":time_base=" + std::to_string(timeBase.num) +
        "/" + std::to_string(timeBase.den) + ":pixel_aspect=" + std::to_string(aspect.num) + "/" +
        std::to_string(aspect.den);
    AVFilterContext* deinterlace = nullptr;
    AVFilterGraph* g = d.graph_.get();
    // A picture for each frame; frames not marked interlaced pass as they are; the fields in
    // the order each frame gives.
    const bool made =
        avfilter_graph_create_filter(&d.source_, avfilter_get_by_name("buffer"), "in",
                                     source.c_str(), nullptr, g) >= 0 &&
        avfilter_graph_create_filter(&deinterlace, avfilter_get_by_name("bwdif"), "deinterlace",
                                     "mode=send_frame:parity=auto:deint=interlaced", nullptr,
                                     g) >= 0 &&
        avfilter_graph_create_filter(&d.sink_, avfilter_get_by_name("buffersink"), "out", nullptr,
                                     nullptr, g) >= 0 &&
        avfilter_link(d.source_, 0, deinterlace, 0) >= 0 &&
        avfilter_link(deinterlace, 0, d.sink_, 0) >= 0 && avfilter_graph_config(g, nullptr) >= 0;
    if (!made) return std::nullopt;
    std::tie(d.width_, d.height_, d.format_) = std::tuple(like.width, like.height, like.format);
    return d;
}

bool Deinterlacer::fits(const AVFrame& frame) const {
    return frame.width == width_ && frame.height == height_ && frame.format == format_;
}

bool Deinterlacer::push(AVFrame& frame) {
    // Given as a new reference, so that a frame refused is still whole.
    if (av_buffersrc_add_frame_flags(source_, &frame, AV_BUFFERSRC_FLAG_KEEP_REF) < 0) return false;
    av_frame_unref(&frame);
    return true;
}

void Deinterlacer::flush() {
    // Refused, what it holds is lost: it says it is empty rather than have its reader wait.
    lost_ = av_buffersrc_add_frame(source_, nullptr) < 0;
    flushed_ = true;
}

int Deinterlacer::pull(AVFrame& frame) {
    return lost_ ? AVERROR_EOF : av_buffersink_get_frame(sink_, &frame);
}

}  // namespace pelliqo
