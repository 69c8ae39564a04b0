#pragma once

#include <functional>
#include <memory>
#include <string>

namespace pelliqo {

// One worker thread running tasks one at a time, in the order they become due.
// Destroying the queue runs the tasks that are already due, drops the delayed ones that
// are not, and joins the worker.
class SerialQueue {
  public:
    using Task = std::function<void()>;

    explicit SerialQueue(std::string label);
    ~SerialQueue();
    SerialQueue(const SerialQueue&) = delete;
    SerialQueue& operator=(const SerialQueue&) = delete;

    void async(Task task);
    void asyncAfter(double seconds, Task task);

    // True when called from one of this queue's own tasks.
    bool isCurrent() const;

    struct State;

  private:
    std::shared_ptr<State> state_;
};

}  // namespace pelliqo
