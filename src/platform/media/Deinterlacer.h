#pragma once

#include <memory>
#include <optional>

extern "C" {
#include <libavutil/frame.h>
#include <libavutil/rational.h>
}

struct AVFilterContext;
struct AVFilterGraph;

namespace pelliqo {

// Interlaced pictures (from camcorders, television, DVDs) as players show them: a whole
// picture for each, its time kept (FFmpeg's bwdif, which looks at the pictures either side,
// so it hands out each one after the next has come in). Written as they are, their combs
// would be baked into a movie marked progressive.
class Deinterlacer {
  public:
    // For frames like this one; nothing where FFmpeg cannot deinterlace them.
    static std::optional<Deinterlacer> make(const AVFrame& like, AVRational timeBase);

    // Whether a frame is of the size and kind it was made for.
    bool fits(const AVFrame& frame) const;
    // Takes the frame's picture (the frame is left empty); false, and the frame as it was,
    // when it was refused.
    bool push(AVFrame& frame);
    // The pictures held come out: it is the end, or a jump.
    void flush();
    bool flushed() const { return flushed_; }
    // 0 with a picture, AVERROR(EAGAIN) until another is pushed, AVERROR_EOF once flushed
    // and empty.
    int pull(AVFrame& frame);

  private:
    struct GraphFreer {
        void operator()(AVFilterGraph* g) const;
    };

    std::unique_ptr<AVFilterGraph, GraphFreer> graph_;
    AVFilterContext* source_ = nullptr;
    AVFilterContext* sink_ = nullptr;
    int width_ = 0, height_ = 0, format_ = -1;
    bool flushed_ = false;
    bool lost_ = false;
};

}  // namespace pelliqo
