#include "platform/image/PixelBufferPool.h"

#include <mutex>
#include <vector>

#include "platform/image/PixelBufferStorage.h"

namespace pelliqo {

struct PixelBufferPool::Shelf {
    std::mutex lock;
    std::vector<std::unique_ptr<PixelBuffer::Storage>> idle;

    void put(std::unique_ptr<PixelBuffer::Storage> storage) {
        std::lock_guard guard(lock);
        if (idle.size() < maxIdle) idle.push_back(std::move(storage));
    }

    std::unique_ptr<PixelBuffer::Storage> take() {
        std::lock_guard guard(lock);
        if (idle.empty()) return nullptr;
        auto storage = std::move(idle.back());
        idle.pop_back();
        return storage;
    }
};

PixelBufferPool::PixelBufferPool(int width, int height, PixelFormat format)
    : width_(width), height_(height), format_(format), shelf_(std::make_shared<Shelf>()) {}

std::shared_ptr<PixelBufferPool> PixelBufferPool::create(int width, int height,
                                                         PixelFormat format) {
    if (!PixelBuffer::isValidSize(width, height)) return nullptr;
    return std::shared_ptr<PixelBufferPool>(new PixelBufferPool(width, height, format));
}

std::optional<PixelBuffer> PixelBufferPool::makeBuffer() {
    auto storage = shelf_->take();
    if (!storage) storage = PixelBuffer::Storage::allocate(width_, height_, format_);
    if (!storage) return std::nullopt;
    // The last holder hands the memory back to the shelf, if the pool still exists.
    auto giveBack = [shelf = std::weak_ptr<Shelf>(shelf_)](PixelBuffer::Storage* raw) {
        std::unique_ptr<PixelBuffer::Storage> owned(raw);
        if (auto alive = shelf.lock()) alive->put(std::move(owned));
    };
    return PixelBuffer(std::shared_ptr<PixelBuffer::Storage>(storage.release(), giveBack));
}

}  // namespace pelliqo
