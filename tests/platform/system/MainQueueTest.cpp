#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QEventLoop>
#include <QThread>
#include <QTimer>
#include <thread>
#include <vector>

#include "platform/system/MainQueue.h"
#include "platform/system/SerialQueue.h"
#include "platform/system/WeakTask.h"

namespace pelliqo {
namespace {

// Runs the main event loop until quit() or a generous safety timeout.
class MainLoop {
  public:
    MainLoop() {
        QTimer::singleShot(10000, &loop_, [this] { loop_.exit(1); });
    }
    bool run() { return loop_.exec() == 0; }
    void quit() { loop_.exit(0); }

  private:
    QEventLoop loop_;
};

TEST(MainQueue, WorkFromAnotherQueueRunsOnTheMainThreadInOrder) {
    ASSERT_TRUE(mainQueue::isCurrent());
    MainLoop loop;
    std::vector<int> order;
    bool allOnMain = true;
    SerialQueue worker("pelliqo.test");
    worker.async([&] {
        EXPECT_FALSE(mainQueue::isCurrent());
        for (int i = 0; i < 50; ++i) {
            mainQueue::async([&, i] {
                allOnMain = allOnMain && QThread::currentThread() == qApp->thread();
                order.push_back(i);
                if (i == 49) loop.quit();
            });
        }
    });
    ASSERT_TRUE(loop.run());
    EXPECT_TRUE(allOnMain);
    ASSERT_EQ(order.size(), 50u);
    for (int i = 0; i < 50; ++i) EXPECT_EQ(order[i], i);
}

TEST(MainQueue, DelayedWorkComesAfterImmediateWork) {
    MainLoop loop;
    std::vector<std::string> order;
    SerialQueue worker("pelliqo.test");
    worker.async([&] {
        mainQueue::asyncAfter(0.03, [&] {
            order.push_back("later");
            loop.quit();
        });
        mainQueue::async([&] { order.push_back("now"); });
    });
    ASSERT_TRUE(loop.run());
    EXPECT_EQ(order, (std::vector<std::string>{"now", "later"}));
}

TEST(MainQueue, WorkForADeletedObjectIsSkipped) {
    MainLoop loop;
    int calls = 0;
    auto* owner = new QObject;
    mainQueue::async(weakly(owner, [&](QObject&) { ++calls; }));
    delete owner;
    auto* survivor = new QObject;
    mainQueue::async(weakly(survivor, [&](QObject&) {
        ++calls;
        loop.quit();
    }));
    ASSERT_TRUE(loop.run());
    EXPECT_EQ(calls, 1);
    delete survivor;
}

}  // namespace
}  // namespace pelliqo
