#include "engine/BufferPool.h"

namespace pelliqo {

std::optional<PixelBuffer> BufferPool::get(int width, int height) {
    if (!pool_ || width != width_ || height != height_) {
        auto fresh = PixelBufferPool::create(width, height, PixelFormat::bgra8);
        if (!fresh) return std::nullopt;
        pool_ = std::move(fresh);
        width_ = width;
        height_ = height;
    }
    return pool_->makeBuffer();
}

}  // namespace pelliqo
