#pragma once

#include <unistd.h>

#include <utility>

namespace pelliqo {

// A descriptor closed on every way out; -1 when the open it came from failed.
class FileDescriptor {
  public:
    explicit FileDescriptor(int fd) : fd_(fd) {}
    ~FileDescriptor() {
        if (fd_ >= 0) ::close(fd_);
    }
    FileDescriptor(FileDescriptor&& other) noexcept : fd_(std::exchange(other.fd_, -1)) {}
    FileDescriptor(const FileDescriptor&) = delete;
    FileDescriptor& operator=(const FileDescriptor&) = delete;

    int get() const { return fd_; }

  private:
    int fd_;
};

}  // namespace pelliqo
