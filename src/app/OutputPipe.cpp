#include "app/OutputPipe.h"

#include <fcntl.h>

#include <cerrno>
#include <chrono>
#include <thread>

#include "errors/AppErr.h"
#include "platform/system/Interrupt.h"

namespace pelliqo {

Result<std::optional<OutputPipe>> OutputPipe::of(const std::filesystem::path& output,
                                                 std::ostream& err) {
    std::error_code ignored;
    if (!std::filesystem::is_fifo(output, ignored)) return std::optional<OutputPipe>();
    for (bool said = false;; said = true) {
        if (InterruptGuard::interrupted()) return PlatformError(AppErr::cancelled());
        // Without a reader this fails at once (ENXIO) rather than waiting.
        FileDescriptor pipe(::open(output.c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC));
        if (pipe.get() >= 0) return std::optional<OutputPipe>(OutputPipe(std::move(pipe)));
        if (errno != ENXIO && errno != EINTR) return PlatformError::posix(errno);
        if (!said) {
            err << "Waiting for a program to read " << output.string()
                << ". Press Ctrl-C to stop.\n"
                << std::flush;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
}

}  // namespace pelliqo
