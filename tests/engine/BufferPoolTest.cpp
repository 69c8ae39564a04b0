#include <gtest/gtest.h>

#include "engine/BufferPool.h"

namespace pelliqo {
namespace {

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

}  // namespace
}  // namespace pelliqo
