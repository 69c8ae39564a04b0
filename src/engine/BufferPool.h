#pragma once

#include <memory>
#include <optional>

#include "platform/image/PixelBuffer.h"
#include "platform/image/PixelBufferPool.h"

namespace pelliqo {

// BGRA buffers of the current frame size, reused frame after frame; a size change builds a
// new pool. Used from one queue only.
class BufferPool {
  public:
    BufferPool() = default;
    BufferPool(const BufferPool&) = delete;
    BufferPool& operator=(const BufferPool&) = delete;

    // A buffer of exactly this size, or nothing. When a new pool cannot be made for the
    // size, the old pool and size stay, and the next call tries again.
    std::optional<PixelBuffer> get(int width, int height);

    const std::shared_ptr<PixelBufferPool>& pool() const { return pool_; }
    int width() const { return width_; }
    int height() const { return height_; }

  private:
    std::shared_ptr<PixelBufferPool> pool_;
    int width_ = 0;
    int height_ = 0;
};

}  // namespace pelliqo
