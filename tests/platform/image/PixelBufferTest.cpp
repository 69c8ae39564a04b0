#include <gtest/gtest.h>

#include "platform/image/PixelBuffer.h"
#include "platform/image/PixelBufferPool.h"

namespace pelliqo {
namespace {

TEST(PixelBuffer, RefusesSizesNoFrameCanHave) {
    EXPECT_FALSE(PixelBuffer::make(0, 10, PixelFormat::bgra8));
    EXPECT_FALSE(PixelBuffer::make(10, 0, PixelFormat::bgra8));
    EXPECT_FALSE(PixelBuffer::make(-4, 10, PixelFormat::gray8));
    EXPECT_FALSE(PixelBuffer::make(100000, 100000, PixelFormat::bgra8));
    EXPECT_FALSE(PixelBuffer::make(PixelBuffer::maxSide + 1, 1, PixelFormat::gray8));
    EXPECT_FALSE(PixelBuffer::make(16384, 16384, PixelFormat::bgra8));
    EXPECT_TRUE(PixelBuffer::make(7680, 4320, PixelFormat::gray8));
}

}  // namespace
}  // namespace pelliqo
