#include "platform/image/PixelBuffer.h"

#include <cstring>

#include "platform/image/PixelBufferStorage.h"

namespace pelliqo {

namespace {
constexpr std::size_t alignment = 64;

std::size_t roundUp(std::size_t n) {
    return (n + alignment - 1) / alignment * alignment;
}
}  // namespace

std::size_t bytesPerPixel(PixelFormat format) {
    switch (format) {
        case PixelFormat::bgra8:
        case PixelFormat::grayF32:
            return 4;
        case PixelFormat::gray8:
            return 1;
    }
    return 4;
}

bool PixelBuffer::isValidSize(int width, int height) {
    return width > 0 && height > 0 && width <= maxSide && height <= maxSide &&
           std::int64_t{width} * height <= maxPixels;
}

std::unique_ptr<PixelBuffer::Storage> PixelBuffer::Storage::allocate(int width, int height,
                                                                     PixelFormat format) {
    if (!isValidSize(width, height)) return nullptr;
    auto storage = std::make_unique<Storage>();
    storage->width = width;
    storage->height = height;
    storage->format = format;
    storage->bytesPerRow = roundUp(static_cast<std::size_t>(width) * bytesPerPixel(format));
    const std::size_t size = storage->bytesPerRow * static_cast<std::size_t>(height);
    auto* bytes = static_cast<std::uint8_t*>(std::aligned_alloc(alignment, size));
    if (bytes == nullptr) return nullptr;
    std::memset(bytes, 0, size);
    storage->bytes.reset(bytes);
    return storage;
}

std::optional<PixelBuffer> PixelBuffer::make(int width, int height, PixelFormat format) {
    auto storage = Storage::allocate(width, height, format);
    if (!storage) return std::nullopt;
    return PixelBuffer(std::shared_ptr<Storage>(std::move(storage)));
}

int PixelBuffer::width() const {
    return storage_->width;
}
int PixelBuffer::height() const {
    return storage_->height;
}
PixelFormat PixelBuffer::format() const {
    return storage_->format;
}
std::size_t PixelBuffer::bytesPerRow() const {
    return storage_->bytesPerRow;
}
std::uint8_t* PixelBuffer::data() const {
    return storage_->bytes.get();
}

}  // namespace pelliqo
