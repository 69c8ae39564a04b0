#include <gtest/gtest.h>

#include <QTemporaryDir>
#include <atomic>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <thread>

#include "platform/capture/DeviceWatcher.h"

namespace pelliqo {
namespace {

bool waitFor(const std::atomic<int>& count, int wanted) {
    for (int i = 0; i < 200 && count < wanted; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    return count >= wanted;
}

TEST(DeviceWatcher, NodesOfTheWatchedKindComingAndGoingAreReported) {
    QTemporaryDir dir;
    const std::filesystem::path folder = dir.path().toStdString();
    std::atomic<int> changes{0};
    {
        DeviceWatcher watcher({{folder, {"video"}}}, [&] { ++changes; });
        std::ofstream(folder / "audio0").put('x');  // another kind: not reported
        std::ofstream(folder / "video3").put('x');
        ASSERT_TRUE(waitFor(changes, 1));
        std::filesystem::remove(folder / "audio0");
        std::filesystem::remove(folder / "video3");
        ASSERT_TRUE(waitFor(changes, 2));
    }
    std::ofstream(folder / "video4").put('x');
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_EQ(changes, 2);
}

}  // namespace
}  // namespace pelliqo
