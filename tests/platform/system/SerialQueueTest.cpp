#include <gtest/gtest.h>

#include <atomic>
#include <future>
#include <mutex>
#include <thread>
#include <vector>

#include "platform/system/SerialQueue.h"
#include "platform/system/WeakTask.h"

namespace pelliqo {
namespace {

// Waits for everything submitted so far to have run.
void drain(SerialQueue& queue) {
    std::promise<void> done;
    queue.async([&] { done.set_value(); });
    done.get_future().wait();
}

TEST(SerialQueue, RunsTasksOneAtATimeInSubmissionOrderOnItsOwnThread) {
    SerialQueue queue("pelliqo.test");
    std::vector<int> order;
    std::atomic<int> running{0};
    std::atomic<bool> overlapped{false};
    std::atomic<bool> onCallerThread{false};
    const auto caller = std::this_thread::get_id();
    // Submitted from two threads: each thread's tasks keep their order.
    std::thread other([&] {
        for (int i = 0; i < 500; ++i) queue.async([&, i] { order.push_back(1000 + i); });
    });
    for (int i = 0; i < 500; ++i) {
        queue.async([&, i] {
            if (running.fetch_add(1) != 0) overlapped = true;
            if (std::this_thread::get_id() == caller) onCallerThread = true;
            if (!queue.isCurrent()) overlapped = true;
            order.push_back(i);
            running.fetch_sub(1);
        });
    }
    other.join();
    drain(queue);

    EXPECT_FALSE(overlapped);
    EXPECT_FALSE(onCallerThread);
    EXPECT_FALSE(queue.isCurrent());
    ASSERT_EQ(order.size(), 1000u);
    int lastMine = -1, lastOther = 999;
    for (int v : order) {
        int& last = v >= 1000 ? lastOther : lastMine;
        EXPECT_GT(v, last);
        last = v;
    }
}

// A queue destroyed by one of its own tasks neither deadlocks nor drops the task due after.
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
