#pragma once

#include <memory>
#include <optional>

#include "platform/image/PixelBuffer.h"

namespace pelliqo {

// Buffers of one size and format that are reused: a released buffer waits on the pool's
// shelf for the next request instead of being freed. Buffers may be released on any thread
// and may outlive the pool (they are then simply freed).
class PixelBufferPool {
  public:
    // At most this many released buffers are kept for reuse; a burst beyond it is freed.
    static constexpr std::size_t maxIdle = 8;

    // Nothing for a size no buffer can have.
    static std::shared_ptr<PixelBufferPool> create(int width, int height,
                                                   PixelFormat format = PixelFormat::bgra8);

    // A reused buffer when one is idle, otherwise a new one; nothing when memory runs out.
    std::optional<PixelBuffer> makeBuffer();

    int width() const { return width_; }
    int height() const { return height_; }
    PixelFormat format() const { return format_; }

    struct Shelf;

  private:
    PixelBufferPool(int width, int height, PixelFormat format);

    int width_;
    int height_;
    PixelFormat format_;
    std::shared_ptr<Shelf> shelf_;
};

}  // namespace pelliqo
