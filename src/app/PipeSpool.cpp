#include "app/PipeSpool.h"

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <array>
#include <string>

#include "errors/AppErr.h"
#include "platform/system/FileDescriptor.h"
#include "platform/system/Interrupt.h"

namespace pelliqo {

namespace {

bool writeAll(int fd, const char* data, std::size_t size) {
    while (size > 0) {
        const ssize_t n = ::write(fd, data, size);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        data += n;
        size -= static_cast<std::size_t>(n);
    }
    return true;
}

// Until the writer closes the pipe; waits in short steps, so that Ctrl-C is heard even when
// nothing comes, or no writer yet.
std::optional<PlatformError> copyAll(int from, int to) {
    std::array<char, 1 << 16> chunk{};
    for (;;) {
        if (InterruptGuard::interrupted()) return AppErr::cancelled();
        pollfd ready{from, POLLIN, 0};
        const int polled = ::poll(&ready, 1, 100);
        if (polled < 0 && errno != EINTR) return PlatformError::posix(errno);
        if (polled <= 0) continue;
        const ssize_t n = ::read(from, chunk.data(), chunk.size());
        if (n == 0) return std::nullopt;
        if (n < 0 && (errno == EINTR || errno == EAGAIN)) continue;
        if (n < 0) return PlatformError::posix(errno);
        errno = 0;
        if (!writeAll(to, chunk.data(), static_cast<std::size_t>(n)))
            return PlatformError::posix(errno == 0 ? ENOSPC : errno);  // 0: it took nothing
    }
}

}  // namespace

Result<std::optional<PipeSpool>> PipeSpool::of(const std::filesystem::path& input) {
    std::error_code ignored;
    if (!std::filesystem::is_fifo(input, ignored)) return std::optional<PipeSpool>();
    std::string name = folder() / "pelliqo-input-XXXXXX";
    const FileDescriptor to(::mkostemp(name.data(), O_CLOEXEC));
    if (to.get() < 0) return PlatformError::posix(errno);
    PipeSpool spool{std::filesystem::path(name)};
    const FileDescriptor from(::open(input.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC));
    if (from.get() < 0) return PlatformError::posix(errno);
    if (auto failure = copyAll(from.get(), to.get())) return *failure;
    return std::optional<PipeSpool>(std::move(spool));
}

std::filesystem::path PipeSpool::folder() {
    std::error_code notAFolder;  // TMPDIR naming none: /tmp, as other programs do
    const std::filesystem::path named = std::filesystem::temp_directory_path(notAFolder);
    return notAFolder ? std::filesystem::path("/tmp") : named;
}

PipeSpool::~PipeSpool() {
    if (!path_.empty()) ::unlink(path_.c_str());
}

}  // namespace pelliqo
