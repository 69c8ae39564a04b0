#include <gtest/gtest.h>

#include <atomic>
#include <future>
#include <thread>
#include <vector>

#include "platform/system/SerialQueue.h"

namespace pelliqo {
namespace {

void drain(SerialQueue& queue) {
    std::promise<void> done;
    queue.async([&] { done.set_value(); });
    done.get_future().wait();
}

TEST(SerialQueue, RunsTasksOneAtATimeInSubmissionOrderOnItsOwnThread) {
    SerialQueue queue("pelliqo.test");
    std::vector<int> order;
    std::atomic<int> running{0};
    std::atomic<bool> wrong{false};  // two at once, or not on the queue's thread
    // Submitted from two threads: each thread's tasks keep their order.
    std::thread other([&] {
        for (int i = 0; i < 500; ++i) queue.async([&, i] { order.push_back(1000 + i); });
    });
    for (int i = 0; i < 500; ++i) {
        queue.async([&, i] {
            if (running.fetch_add(1) != 0 || !queue.isCurrent()) wrong = true;
            order.push_back(i);
            running.fetch_sub(1);
        });
    }
    other.join();
    drain(queue);
    EXPECT_FALSE(wrong);
    EXPECT_FALSE(queue.isCurrent());
    ASSERT_EQ(order.size(), 1000u);
    const auto others =
        std::stable_partition(order.begin(), order.end(), [](int v) { return v < 1000; });
    EXPECT_TRUE(std::is_sorted(order.begin(), others));
    EXPECT_TRUE(std::is_sorted(others, order.end()));
}

TEST(SerialQueue, CanBeDestroyedByOneOfItsOwnTasks) {
    auto queue = std::make_unique<SerialQueue>("pelliqo.test");
    std::promise<void> go, done;
    queue->async([&, ready = go.get_future().share()] {
        ready.wait();
        queue.reset();
    });
    queue->async([&] { done.set_value(); });
    go.set_value();
    EXPECT_EQ(done.get_future().wait_for(std::chrono::seconds(10)), std::future_status::ready);
}

}  // namespace
}  // namespace pelliqo
