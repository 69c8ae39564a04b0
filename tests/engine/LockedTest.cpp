#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include "engine/Locked.h"

namespace pelliqo {
namespace {

TEST(Locked, ReadersNeverSeeAHalfWrittenValue) {
    const std::string as(4096, 'a');
    const std::string bs(8192, 'b');
    Locked<std::string> box(as);
    std::atomic<bool> stop{false};
    std::atomic<int> torn{0};
    std::vector<std::thread> threads;
    threads.emplace_back([&] {
        for (int i = 0; i < 20000; ++i) box.set(i % 2 ? as : bs);
        stop = true;
    });
    for (int r = 0; r < 2; ++r) {
        threads.emplace_back([&] {
            while (!stop) {
                const std::string seen = box.get();
                if (seen != as && seen != bs) ++torn;
            }
        });
    }
    for (auto& t : threads) t.join();
    EXPECT_EQ(torn, 0);
}

}  // namespace
}  // namespace pelliqo
