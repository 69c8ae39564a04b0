#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QThread>
#include <thread>
#include <vector>

#include "MainLoop.h"
#include "platform/system/MainQueue.h"
#include "platform/system/SerialQueue.h"

namespace pelliqo {
namespace {

TEST(MainQueue, WorkFromAnotherQueueRunsOnTheMainThreadInOrder) {
    ASSERT_TRUE(mainQueue::isCurrent());
    std::vector<int> order;
    bool allOnMain = true;
    SerialQueue worker("pelliqo.test");
    worker.async([&] {
        EXPECT_FALSE(mainQueue::isCurrent());
        for (int i = 0; i < 50; ++i) {
            mainQueue::async([&, i] {
                allOnMain = allOnMain && QThread::currentThread() == qApp->thread();
                order.push_back(i);
            });
        }
    });
    ASSERT_TRUE(test::runMainLoopUntil([&] { return order.size() == 50; }));
    EXPECT_TRUE(allOnMain);
    ASSERT_EQ(order.size(), 50u);
    for (int i = 0; i < 50; ++i) EXPECT_EQ(order[i], i);
}

}  // namespace
}  // namespace pelliqo
