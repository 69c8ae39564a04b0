#include "platform/media/OutputFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

#include "platform/media/AVError.h"

extern "C" {
#include <libavformat/avio.h>
#include <libavutil/mem.h>
}

namespace pelliqo {

namespace {

constexpr int bufferSize = 64 * 1024;

// A named pipe that nothing reads would hold a blocking open for ever; this one fails at
// once instead, and writes block as they should once it is open.
constexpr int writing = O_WRONLY | O_CLOEXEC | O_NONBLOCK;

int openForWriting(const std::filesystem::path& path, OutputFile::Existing existing,
                   bool& created) {
    if (existing == OutputFile::Existing::replace)
        return ::open(path.c_str(), writing | O_CREAT | O_TRUNC, 0666);
    int fd = ::open(path.c_str(), writing | O_CREAT | O_EXCL, 0666);
    created = fd >= 0;
    if (fd >= 0 || errno != EEXIST) return fd;
    // A pipe or device, if it opens as one: a folder, a link or a file is what was there.
    fd = ::open(path.c_str(), writing | O_NOFOLLOW);
    struct stat st {};
    if (fd >= 0 && (fstat(fd, &st) != 0 || S_ISREG(st.st_mode))) {
        ::close(fd);
        fd = -1;
        errno = EEXIST;
    } else if (fd < 0 && (errno == EISDIR || errno == ELOOP)) {
        errno = EEXIST;
    }
    return fd;
}

}  // namespace

struct OutputFile::State {
    int fd = -1;
    std::optional<std::uint64_t> limit;
    std::uint64_t written = 0;
    bool created = false;
    AVIOContext* io = nullptr;

    ~State() {
        if (io != nullptr) {
            av_freep(&io->buffer);
            avio_context_free(&io);
        }
        if (fd >= 0) ::close(fd);
    }

    // Writes all of it, or what fits under the limit and then fails as a full disk.
    static int write(void* opaque, std::uint8_t* data, int size) {
        State& s = *static_cast<State*>(opaque);
        std::size_t wanted = static_cast<std::size_t>(size);
        if (s.limit)
            wanted = std::min<std::uint64_t>(wanted, *s.limit - std::min(*s.limit, s.written));
        for (std::size_t done = 0; done < wanted;) {
            const ssize_t n = ::write(s.fd, data + done, wanted - done);
            if (n < 0 && errno == EINTR) continue;
            if (n < 0) return AVERROR(errno);
            if (n == 0) return AVERROR(ENOSPC);  // a file system that takes nothing more
            done += static_cast<std::size_t>(n);
            s.written += static_cast<std::uint64_t>(n);
        }
        return wanted < static_cast<std::size_t>(size) ? AVERROR(ENOSPC) : size;
    }

    static std::int64_t seek(void* opaque, std::int64_t offset, int whence) {
        const State& s = *static_cast<const State*>(opaque);
        if (whence & AVSEEK_SIZE) {
            struct stat st {};
            return fstat(s.fd, &st) == 0 ? st.st_size : AVERROR(errno);
        }
        const off_t at = lseek(s.fd, offset, whence & ~AVSEEK_FORCE);
        return at < 0 ? AVERROR(errno) : at;
    }
};

OutputFile::OutputFile(std::unique_ptr<State> state) : state_(std::move(state)) {}
OutputFile::OutputFile(OutputFile&&) noexcept = default;
OutputFile& OutputFile::operator=(OutputFile&&) noexcept = default;
OutputFile::~OutputFile() = default;

Result<OutputFile> OutputFile::open(const std::filesystem::path& path,
                                    std::optional<std::uint64_t> byteLimit, Existing existing) {
    auto state = std::make_unique<State>();
    state->limit = byteLimit;
    state->fd = openForWriting(path, existing, state->created);
    if (state->fd < 0) {
        const int failed = errno;
        // Said as a write to it would say it, not as a device gone (ENXIO).
        std::error_code unknown;
        if (failed == ENXIO && std::filesystem::is_fifo(path, unknown))
            return PlatformError::posix(EPIPE);
        return PlatformError::posix(failed);
    }
    const int flags = fcntl(state->fd, F_GETFL);
    if (flags < 0 || fcntl(state->fd, F_SETFL, flags & ~O_NONBLOCK) != 0)
        return PlatformError::posix(errno);
    auto* buffer = static_cast<unsigned char*>(av_malloc(bufferSize));
    if (buffer != nullptr) {
        state->io = avio_alloc_context(buffer, bufferSize, 1, state.get(), nullptr, &State::write,
                                       &State::seek);
    }
    if (state->io == nullptr) {
        av_free(buffer);
        return PlatformError::posix(ENOMEM);
    }
    return OutputFile(std::move(state));
}

bool OutputFile::created() const {
    return state_->created;
}

AVIOContext* OutputFile::io() const {
    return state_->io;
}

std::optional<PlatformError> OutputFile::close() {
    State& s = *state_;
    if (s.io == nullptr) return std::nullopt;
    avio_flush(s.io);
    std::optional<PlatformError> failure;
    if (s.io->error < 0) failure = fromAVError(s.io->error);
    av_freep(&s.io->buffer);
    avio_context_free(&s.io);
    // A file system may report a failed write only when the file is closed.
    if (::close(s.fd) != 0 && !failure) failure = PlatformError::posix(errno);
    s.fd = -1;
    return failure;
}

}  // namespace pelliqo
