#pragma once

#include <mutex>
#include <utility>

namespace pelliqo {

// One value shared between threads, with its own lock. Reads copy the value out; writes
// replace it. Nothing else happens under the lock, so holding it is always brief and two
// boxes can never deadlock each other.
template <class T>
class Locked {
  public:
    explicit Locked(T initial) : stored_(std::move(initial)) {}
    Locked(const Locked&) = delete;
    Locked& operator=(const Locked&) = delete;

    T get() const {
        std::lock_guard guard(lock_);
        return stored_;
    }

    void set(T value) {
        {
            std::lock_guard guard(lock_);
            std::swap(stored_, value);
        }
        // The old value is destroyed here, outside the lock.
    }

  private:
    mutable std::mutex lock_;
    T stored_;
};

}  // namespace pelliqo
