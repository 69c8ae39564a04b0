#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include "engine/Locked.h"

namespace pelliqo {
namespace {

TEST(Locked, HoldsItsInitialValueAndReplacesIt) {
    Locked<std::optional<int>> box(std::nullopt);
    EXPECT_EQ(box.get(), std::nullopt);
    box.set(5);
    EXPECT_EQ(box.get(), 5);
}

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

TEST(Locked, TheReplacedValueIsDestroyedOutsideTheLock) {
    // A value whose destructor reads the same box would deadlock if it died under the lock.
    struct Probe {
        Locked<std::shared_ptr<Probe>>* box = nullptr;
        ~Probe() {
            if (box) (void)box->get();
        }
    };
    Locked<std::shared_ptr<Probe>> box(nullptr);
    auto probe = std::make_shared<Probe>();
    probe->box = &box;
    box.set(probe);
    probe.reset();
    box.set(nullptr);  // destroys the probe, which reads the box
    EXPECT_EQ(box.get(), nullptr);
}

}  // namespace
}  // namespace pelliqo
