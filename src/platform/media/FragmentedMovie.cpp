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

// The box that starts at `at`, if its header is there; whole tells whether all of it is.
std::optional<Box> boxAt(int fd, std::uint64_t at, std::uint64_t fileSize, bool& whole) {
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
    if (box.size < headerSize) return {};
    whole = box.size <= fileSize - at;
    return box;
}

bool is(const Box& box, const char* type) {
    return std::memcmp(box.type.data(), type, 4) == 0;
}

// Where the file must end for every reader to open it cleanly: after its last whole box, but
// not after a fragment's index without its media. When no fragment is whole, the first one's
// media cut off behind its whole index stays: readers play it up to the cut, and it is all
// there is.
std::uint64_t readableEnd(int fd, std::uint64_t fileSize) {
    std::uint64_t end = 0;
    bool afterIndex = false, anyFragment = false;
    for (std::uint64_t at = 0; at < fileSize;) {
        bool whole = false;
        const auto box = boxAt(fd, at, fileSize, whole);
        if (box && !whole && afterIndex && !anyFragment && is(*box, "mdat")) return fileSize;
        if (!box || !whole) break;
        at += box->size;
        anyFragment = anyFragment || (afterIndex && is(*box, "mdat"));
        afterIndex = is(*box, "moof");
        if (!afterIndex) end = at;
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
    } else if (const auto end = readableEnd(fd, static_cast<std::uint64_t>(size));
               end < static_cast<std::uint64_t>(size) &&
               ftruncate(fd, static_cast<off_t>(end)) != 0) {
        failure = PlatformError::posix(errno);
    }
    ::close(fd);
    return failure;
}

}  // namespace pelliqo
