#include <gtest/gtest.h>

#include <cstring>
#include <thread>
#include <vector>

#include "platform/image/PixelBuffer.h"
#include "platform/image/PixelBufferPool.h"

namespace pelliqo {
namespace {

TEST(PixelBuffer, RowsAreAlignedAndLongEnoughForEachFormat) {
    struct Case {
        PixelFormat format;
        std::size_t bytesPerPixel;
    };
    for (const Case c : {Case{PixelFormat::bgra8, 4}, Case{PixelFormat::gray8, 1},
                         Case{PixelFormat::grayF32, 4}}) {
        const auto buffer = PixelBuffer::make(33, 7, c.format);
        ASSERT_TRUE(buffer);
        EXPECT_EQ(buffer->width(), 33);
        EXPECT_EQ(buffer->height(), 7);
        EXPECT_EQ(buffer->format(), c.format);
        EXPECT_GE(buffer->bytesPerRow(), 33 * c.bytesPerPixel);
        EXPECT_EQ(buffer->bytesPerRow() % 64, 0u);
        EXPECT_EQ(reinterpret_cast<std::uintptr_t>(buffer->data()) % 64, 0u);
        EXPECT_EQ(buffer->row(3), buffer->data() + 3 * buffer->bytesPerRow());
    }
}

TEST(PixelBuffer, NewBuffersAreBlank) {
    const auto buffer = PixelBuffer::make(20, 10, PixelFormat::bgra8);
    ASSERT_TRUE(buffer);
    const std::vector<std::uint8_t> zeros(buffer->bytesPerRow() * 10, 0);
    EXPECT_EQ(std::memcmp(buffer->data(), zeros.data(), zeros.size()), 0);
}

TEST(PixelBuffer, RefusesSizesNoFrameCanHave) {
    EXPECT_FALSE(PixelBuffer::make(0, 10, PixelFormat::bgra8));
    EXPECT_FALSE(PixelBuffer::make(10, 0, PixelFormat::bgra8));
    EXPECT_FALSE(PixelBuffer::make(-4, 10, PixelFormat::gray8));
    EXPECT_FALSE(PixelBuffer::make(100000, 100000, PixelFormat::bgra8));
    EXPECT_FALSE(PixelBuffer::make(PixelBuffer::maxSide + 1, 1, PixelFormat::gray8));
    EXPECT_FALSE(PixelBuffer::make(16384, 16384, PixelFormat::bgra8));
    EXPECT_TRUE(PixelBuffer::make(7680, 4320, PixelFormat::gray8));
}

TEST(PixelBuffer, CopiesShareTheirPixels) {
    auto a = PixelBuffer::make(4, 4, PixelFormat::gray8);
    ASSERT_TRUE(a);
    const PixelBuffer b = *a;
    b.row(1)[2] = 77;
    EXPECT_EQ(a->row(1)[2], 77);
    EXPECT_TRUE(a->sharesPixelsWith(b));
    EXPECT_FALSE(a->sharesPixelsWith(*PixelBuffer::make(4, 4, PixelFormat::gray8)));
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

TEST(PixelBufferPool, KeepsOnlyABoundedNumberOfIdleBuffers) {
    const auto pool = PixelBufferPool::create(8, 8, PixelFormat::gray8);
    {
        std::vector<PixelBuffer> burst;
        for (int i = 0; i < 20; ++i) burst.push_back(*pool->makeBuffer());
    }
    EXPECT_EQ(pool->idleCount(), PixelBufferPool::maxIdle);
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

TEST(PixelBufferPool, RefusesInvalidSizes) {
    EXPECT_FALSE(PixelBufferPool::create(0, 0));
    EXPECT_FALSE(PixelBufferPool::create(100000, 100000));
    EXPECT_FALSE(PixelBufferPool::create(-1, 5));
}

}  // namespace
}  // namespace pelliqo
