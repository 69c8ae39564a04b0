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

TEST(SerialQueue, DelayedTasksRunInOrderOfTheirDueTimeAfterImmediateOnes) {
    SerialQueue queue("pelliqo.test");
    std::vector<std::string> order;
    std::promise<void> done;
    queue.asyncAfter(0.06, [&] {
        order.push_back("late");
        done.set_value();
    });
    queue.asyncAfter(0.02, [&] { order.push_back("early"); });
    queue.async([&] { order.push_back("now"); });
    queue.asyncAfter(-1, [&] { order.push_back("negative delay"); });
    done.get_future().wait();
    EXPECT_EQ(order, (std::vector<std::string>{"now", "negative delay", "early", "late"}));
}

TEST(SerialQueue, DestructionRunsDueTasksAndDropsFarFutureOnes) {
    std::atomic<int> ran{0};
    std::atomic<bool> farRan{false};
    {
        SerialQueue queue("pelliqo.test");
        queue.async([] { std::this_thread::sleep_for(std::chrono::milliseconds(20)); });
        for (int i = 0; i < 100; ++i) queue.async([&] { ++ran; });
        queue.asyncAfter(3600, [&] { farRan = true; });
        queue.asyncAfter(1e300, [&] { farRan = true; });
    }
    EXPECT_EQ(ran, 100);
    EXPECT_FALSE(farRan);
}

TEST(SerialQueue, CanBeDestroyedByOneOfItsOwnTasks) {
    auto queue = std::make_unique<SerialQueue>("pelliqo.test");
    std::promise<void> done;
    SerialQueue* raw = queue.get();
    raw->async([&] {
        queue.reset();
        done.set_value();
    });
    done.get_future().wait();
    EXPECT_EQ(queue, nullptr);
}

TEST(WeakTask, DoesNothingOnceTheOwnerIsGone) {
    struct Owner {
        int calls = 0;
    };
    auto owner = std::make_shared<Owner>();
    auto task = weakly(owner, [](Owner& o) { ++o.calls; });
    task();
    EXPECT_EQ(owner->calls, 1);

    std::weak_ptr<Owner> watch = owner;
    owner.reset();
    task();  // must not touch the freed owner
    EXPECT_TRUE(watch.expired());
}

}  // namespace
}  // namespace pelliqo
