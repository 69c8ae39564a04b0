#include <gtest/gtest.h>

#include <cstring>
#include <thread>
#include <vector>

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

TEST(PixelBufferPool, ReleasedBuffersAreHandedOutAgain) {
    const auto pool = PixelBufferPool::create(64, 48);
    ASSERT_TRUE(pool);
    const std::uint8_t* first = nullptr;
    {
        auto buffer = pool->makeBuffer();
        ASSERT_TRUE(buffer);
        EXPECT_EQ(buffer->width(), 64);
        EXPECT_EQ(buffer->height(), 48);
        EXPECT_EQ(buffer->format(), PixelFormat::bgra8);
        first = buffer->data();
        auto copy = *buffer;  // the last holder, not the first, gives it back
        buffer.reset();
        EXPECT_EQ(pool->idleCount(), 0u);
    }
    EXPECT_EQ(pool->idleCount(), 1u);
    const auto again = pool->makeBuffer();
    EXPECT_EQ(again->data(), first);
    // While it is held, the next request gets different memory.
    EXPECT_NE(pool->makeBuffer()->data(), first);
}

TEST(PixelBufferPool, BuffersMayOutliveThePoolAndBeReleasedOnAnyThread) {
    std::vector<PixelBuffer> held;
    {
        const auto pool = PixelBufferPool::create(16, 16);
        for (int i = 0; i < 4; ++i) held.push_back(*pool->makeBuffer());
        std::thread([b = held.back()]() mutable { b.row(0)[0] = 1; }).join();
    }
    for (PixelBuffer& b : held) b.row(15)[63] = 9;  // still valid memory
    held.clear();
}

}  // namespace
}  // namespace pelliqo
