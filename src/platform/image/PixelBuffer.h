#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>

namespace pelliqo {

enum class PixelFormat {
    bgra8,    // frames and bitmaps: blue, green, red, alpha, 8 bits each
    gray8,    // masks: one 8-bit component
    grayF32,  // masks: one 32-bit float component
};

std::size_t bytesPerPixel(PixelFormat format);

// A picture in memory with shared ownership: copies refer to the same pixels, like a
// reference-counted platform buffer. A pooled buffer goes back to its pool when the last
// copy lets go.
class PixelBuffer {
  public:
    // The largest buffer we hand out; anything bigger is a mistake, not a frame.
    static constexpr int maxSide = 16384;
    static constexpr std::int64_t maxPixels = std::int64_t{1} << 26;

    static bool isValidSize(int width, int height);

    // A fresh, zeroed buffer, or nothing for an invalid size or when memory runs out.
    static std::optional<PixelBuffer> make(int width, int height, PixelFormat format);

    int width() const;
    int height() const;
    PixelFormat format() const;
    // Rows start on 64-byte boundaries, so this may exceed width × bytes per pixel.
    std::size_t bytesPerRow() const;

    std::uint8_t* data() const;
    std::uint8_t* row(int y) const { return data() + static_cast<std::size_t>(y) * bytesPerRow(); }

    bool sharesPixelsWith(const PixelBuffer& other) const { return storage_ == other.storage_; }

    struct Storage;

  private:
    friend class PixelBufferPool;
    explicit PixelBuffer(std::shared_ptr<Storage> storage) : storage_(std::move(storage)) {}

    std::shared_ptr<Storage> storage_;
};

}  // namespace pelliqo
