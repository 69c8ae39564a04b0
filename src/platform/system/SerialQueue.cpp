#include "platform/system/SerialQueue.h"

#include <pthread.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <queue>
#include <thread>

namespace pelliqo {

namespace {
using Clock = std::chrono::steady_clock;

struct Entry {
    Clock::time_point due;
    std::uint64_t order;  // keeps tasks due at the same moment in submission order
    SerialQueue::Task task;

    bool operator>(const Entry& other) const {
        return due != other.due ? due > other.due : order > other.order;
    }
};
}  // namespace

struct SerialQueue::State {
    std::mutex lock;
    std::condition_variable wake;
    std::priority_queue<Entry, std::vector<Entry>, std::greater<>> entries;
    std::uint64_t nextOrder = 0;
    bool stopping = false;
    std::thread worker;

    void submit(Clock::time_point due, Task task) {
        {
            std::lock_guard guard(lock);
            if (stopping) return;
            entries.push(Entry{due, nextOrder++, std::move(task)});
        }
        wake.notify_one();
    }

    // The next due task; empty once stopping and nothing more is due.
    Task next() {
        std::unique_lock guard(lock);
        for (;;) {
            const auto now = Clock::now();
            if (!entries.empty() && entries.top().due <= now) {
                Task task = std::move(const_cast<Entry&>(entries.top()).task);
                entries.pop();
                return task;
            }
            if (stopping) return {};
            if (entries.empty()) {
                wake.wait(guard);
            } else {
                // A copy: while waiting, new entries may move the queue's storage.
                const Clock::time_point due = entries.top().due;
                wake.wait_until(guard, due);
            }
        }
    }

    static void run(const std::shared_ptr<State>& self) {
        while (Task task = self->next()) task();
    }
};

SerialQueue::SerialQueue(std::string label) : state_(std::make_shared<State>()) {
    // The worker holds the state too, so it stays valid even if the queue is destroyed by
    // one of its own tasks.
    state_->worker = std::thread([state = state_] { State::run(state); });
    // Thread names are limited to 15 characters; the tail of the label is the telling part.
    const std::string shortName = label.size() > 15 ? label.substr(label.size() - 15) : label;
    pthread_setname_np(state_->worker.native_handle(), shortName.c_str());
}

SerialQueue::~SerialQueue() {
    {
        std::lock_guard guard(state_->lock);
        state_->stopping = true;
    }
    state_->wake.notify_one();
    if (isCurrent()) {
        state_->worker.detach();
    } else {
        state_->worker.join();
    }
}

void SerialQueue::async(Task task) {
    // The task may destroy this queue, and with it the worker's last hold on the state,
    // before submit has finished waking the worker: hold the state until then.
    const std::shared_ptr<State> state = state_;
    state->submit(Clock::now(), std::move(task));
}

void SerialQueue::asyncAfter(double seconds, Task task) {
    // Clamped so that an absurd delay cannot overflow the clock.
    constexpr double longest = 365.0 * 24 * 3600;
    const double clamped = seconds > 0 ? std::min(seconds, longest) : 0;
    const auto delay = std::chrono::duration<double>(clamped);
    const std::shared_ptr<State> state = state_;  // as in async
    state->submit(Clock::now() + std::chrono::duration_cast<Clock::duration>(delay),
                  std::move(task));
}

bool SerialQueue::isCurrent() const {
    return state_->worker.get_id() == std::this_thread::get_id();
}

}  // namespace pelliqo
