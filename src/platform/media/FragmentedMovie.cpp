#include "platform/media/FragmentedMovie.h"

#include <fcntl.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <cstdint>
#include <cstring>

namespace pelliqo {

namespace {

struct Box {
    std::uint64_t size = 0;  // header included
    std::array<char, 4> type{};
};

std::uint64_t bigEndian(const unsigned char* bytes, int count) {
    std::uint64_t value = 0;
    for (int i = 0; i < count; ++i) value = value << 8 | bytes[i];
    return value;
}

// The box that starts at `at`, if its header is there and it fits in the file.
std::optional<Box> boxAt(int fd, std::uint64_t at, std::uint64_t fileSize) {
    unsigned char header[16];
    if (fileSize - at < 8 || pread(fd, header, 8, static_cast<off_t>(at)) != 8) return {};
    Box box;
    std::memcpy(box.type.data(), header + 4, 4);
    box.size = bigEndian(header, 4);
    std::uint64_t headerSize = 8;
    if (box.size == 1) {  // the size follows in 64 bits
        if (fileSize - at < 16 || pread(fd, header + 8, 8, static_cast<off_t>(at + 8)) != 8)
            return {};
        box.size = bigEndian(header + 8, 8);
        headerSize = 16;
    } else if (box.size == 0) {  // up to the end of the file
        box.size = fileSize - at;
    }
    if (box.size < headerSize || box.size > fileSize - at) return {};
    return box;
}

// Where the file's whole boxes end, not counting a fragment's index whose media is missing.
std::uint64_t wholeEnd(int fd, std::uint64_t fileSize) {
    std::uint64_t end = 0;
    for (std::uint64_t at = 0; at < fileSize;) {
        const auto box = boxAt(fd, at, fileSize);
        if (!box) break;
        at += box->size;
        if (std::memcmp(box->type.data(), "moof", 4) != 0) end = at;
    }
    return end;
}

}  // namespace

std::optional<PlatformError> trimToWholeFragments(const std::filesystem::path& path) {
    const int fd = ::open(path.c_str(), O_RDWR | O_CLOEXEC);
    if (fd < 0) return PlatformError::posix(errno);
    std::optional<PlatformError> failure;
    const off_t size = lseek(fd, 0, SEEK_END);
    if (size < 0) {
        failure = PlatformError::posix(errno);
    } else if (const auto end = wholeEnd(fd, static_cast<std::uint64_t>(size));
               end < static_cast<std::uint64_t>(size) &&
               ftruncate(fd, static_cast<off_t>(end)) != 0) {
        failure = PlatformError::posix(errno);
    }
    ::close(fd);
    return failure;
}

}  // namespace pelliqo
