#include <gtest/gtest.h>

#include "engine/BufferPool.h"

namespace pelliqo {
namespace {

TEST(BufferPool, SameSizeReusesOnePool) {
    BufferPool pool;
    EXPECT_FALSE(pool.pool());
    const auto first = pool.get(64, 48);
    ASSERT_TRUE(first);
    EXPECT_EQ(first->width(), 64);
    EXPECT_EQ(first->height(), 48);
    EXPECT_EQ(first->format(), PixelFormat::bgra8);
    const auto made = pool.pool();
    const auto second = pool.get(64, 48);
    ASSERT_TRUE(second);
    EXPECT_EQ(pool.pool(), made);
    EXPECT_FALSE(first->sharesPixelsWith(*second));
}

TEST(BufferPool, EverySizeChangeBuildsANewPool) {
    BufferPool pool;
    std::vector<std::shared_ptr<PixelBufferPool>> seen;  // kept alive so addresses stay distinct
    for (int i = 0; i < 4; ++i) {
        const int width = i % 2 == 0 ? 64 : 32;
        const auto buffer = pool.get(width, 48);
        ASSERT_TRUE(buffer);
        EXPECT_EQ(buffer->width(), width);
        for (const auto& earlier : seen) EXPECT_NE(pool.pool(), earlier);
        seen.push_back(pool.pool());
    }
}

TEST(BufferPool, AFailedSizeKeepsThePreviousPool) {
    BufferPool pool;
    auto held = pool.get(64, 48);
    ASSERT_TRUE(held);
    const auto made = pool.pool();
    for (auto [w, h] : {std::pair{0, 0}, {-3, 48}, {64, -1}, {100000, 100000}}) {
        EXPECT_FALSE(pool.get(w, h)) << w << "x" << h;
        EXPECT_EQ(pool.pool(), made);
        EXPECT_EQ(pool.width(), 64);
        EXPECT_EQ(pool.height(), 48);
    }
    EXPECT_TRUE(pool.get(64, 48));
    EXPECT_EQ(pool.pool(), made);
}

TEST(BufferPool, BuffersFromAReplacedPoolStayUsable) {
    BufferPool pool;
    auto old = pool.get(32, 32);
    ASSERT_TRUE(old);
    ASSERT_TRUE(pool.get(16, 16));
    old->row(31)[32 * 4 - 1] = 200;
    EXPECT_EQ(old->row(31)[32 * 4 - 1], 200);
}

TEST(BufferPool, AFirstFailedCallLeavesItEmpty) {
    BufferPool pool;
    EXPECT_FALSE(pool.get(0, 10));
    EXPECT_FALSE(pool.pool());
    EXPECT_EQ(pool.width(), 0);
    EXPECT_EQ(pool.height(), 0);
}

}  // namespace
}  // namespace pelliqo
