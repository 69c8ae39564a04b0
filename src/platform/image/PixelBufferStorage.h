#pragma once

#include <cstdlib>
#include <memory>

#include "platform/image/PixelBuffer.h"

namespace pelliqo {

// The memory behind a PixelBuffer; shared between PixelBuffer and PixelBufferPool only.
struct PixelBuffer::Storage {
    struct Free {
        void operator()(std::uint8_t* p) const { std::free(p); }
    };

    int width = 0;
    int height = 0;
    PixelFormat format = PixelFormat::bgra8;
    std::size_t bytesPerRow = 0;
    std::unique_ptr<std::uint8_t, Free> bytes;

    // Zeroed memory for the size, or nothing when the size is invalid or memory runs out.
    static std::unique_ptr<Storage> allocate(int width, int height, PixelFormat format);
};

}  // namespace pelliqo
