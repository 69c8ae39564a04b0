#include "process/StagedFile.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <cerrno>
#include <random>
#include <string>
#include <utility>

namespace pelliqo {

namespace fs = std::filesystem;

namespace {

constexpr std::string_view suffix = ".pelliqo-partial";
constexpr std::size_t tagLength = 6;
constexpr std::size_t longestName = 255;  // bytes, as Linux file systems allow
constexpr int attempts = 100;

// "." + the destination's name (cut short, at a whole character, to leave room) + ".":
// every staged name for the destination starts so, then a random tag, then the suffix.
std::string stagedPrefix(const fs::path& destination) {
    std::string name = destination.filename().string();
    const std::size_t room = longestName - 2 - tagLength - suffix.size();
    if (name.size() > room) {
        std::size_t cut = room;
        while (cut > 0 && (static_cast<unsigned char>(name[cut]) & 0xC0) == 0x80) --cut;
        name.resize(cut);
    }
    return "." + name + ".";
}

std::string randomTag() {
    static constexpr char letters[] = "abcdefghijklmnopqrstuvwxyz0123456789";
    // Drawn from the system each time: a generator kept in the process would give a forked
    // copy the same names.
    std::random_device random;
    std::uniform_int_distribution<std::size_t> pick(0, sizeof letters - 2);
    std::string tag(tagLength, ' ');
    for (char& c : tag) c = letters[pick(random)];
    return tag;
}

bool sameFile(int fd, const fs::path& path) {
    struct stat open {
    }, named{};
    return fstat(fd, &open) == 0 && lstat(path.c_str(), &named) == 0 &&
           open.st_dev == named.st_dev && open.st_ino == named.st_ino;
}

// A staged file nobody holds was left by a run that ended without cleaning up.
void removeIfAbandoned(const fs::path& file) {
    const int fd = open(file.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK);
    if (fd < 0) return;
    if (flock(fd, LOCK_EX | LOCK_NB) == 0 && sameFile(fd, file)) unlink(file.c_str());
    close(fd);
}

// Those of every destination in the folder: a killed export's file, possibly gigabytes and
// hidden, is not kept waiting for an export under the same name.
void removeAbandoned(const fs::path& folder) {
    std::error_code error;
    for (const auto& entry : fs::directory_iterator(folder.empty() ? "." : folder, error)) {
        if (StagedFile::isStaged(entry.path())) removeIfAbandoned(entry.path());
    }
}

// The file that replaces another takes who may read it: its owner, group and permissions (a
// private recording must not become readable by all). While it is written, its owner may
// also read and write it.
void takeAccessOf(const fs::path& destination, int fd, mode_t whileWritten) {
    struct stat old {};
    if (stat(destination.c_str(), &old) != 0 || !S_ISREG(old.st_mode)) return;
    // Only the superuser may give a file to another owner; the permissions apply regardless.
    [[maybe_unused]] const bool given = fchown(fd, old.st_uid, old.st_gid) == 0;
    [[maybe_unused]] const bool set = fchmod(fd, (old.st_mode & 07777) | whileWritten) == 0;
}

// And what is said of it beside its contents: the tags, ratings and comments file managers
// keep (user.*), its access list (system.posix_acl_access). What may not be copied (a
// security label, as a user) is let go.
void takeAttributesOf(const fs::path& destination, int fd) {
    const ssize_t size = listxattr(destination.c_str(), nullptr, 0);
    if (size <= 0) return;
    std::string names(static_cast<std::size_t>(size), '\0');
    const ssize_t listed = listxattr(destination.c_str(), names.data(), names.size());
    if (listed <= 0) return;
    names.resize(static_cast<std::size_t>(listed));
    for (std::size_t at = 0; at < names.size();) {
        const std::string name(names.c_str() + at);
        at += name.size() + 1;
        const ssize_t length = getxattr(destination.c_str(), name.c_str(), nullptr, 0);
        if (length < 0) continue;
        std::string value(static_cast<std::size_t>(length), '\0');
        if (getxattr(destination.c_str(), name.c_str(), value.data(), value.size()) != length)
            continue;
        [[maybe_unused]] const bool set =
            fsetxattr(fd, name.c_str(), value.data(), value.size(), 0) == 0;
    }
}

void syncFolder(const fs::path& folder) {
    const int fd = open(folder.empty() ? "." : folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return;
    fsync(fd);  // a folder that cannot be synced still holds the name; nothing to report
    close(fd);
}

// A link is written through, as a plain write would be: what it points to (even where that
// does not exist yet) is replaced, and the link stays.
fs::path throughLinks(fs::path path) {
    std::error_code error;
    for (int hop = 0; hop < 40 && fs::is_symlink(fs::symlink_status(path, error)); ++hop) {
        const fs::path target = fs::read_symlink(path, error);
        if (error) break;
        path = target.is_absolute() ? target : path.parent_path() / target;
    }
    return path;
}

}  // namespace

bool StagedFile::isStaged(const fs::path& file) {
    const std::string name = file.filename().string();
    const std::size_t tail = 1 + tagLength + suffix.size();  // "." + the tag + the suffix
    return name.size() > tail + 1 && name.front() == '.' && name.ends_with(suffix) &&
           name[name.size() - tail] == '.';
}

Result<StagedFile> StagedFile::create(const fs::path& named) {
    std::error_code error;
    // A device or a pipe (/dev/null, a named pipe, /dev/stdout on a pipe) holds no file to
    // keep, and must not be replaced by one: it is written in place. Known as the system
    // resolves the name: /dev/stdout on a pipe leads to "pipe:[…]", which no path reaches.
    const fs::file_status resolved = fs::status(named, error);
    if (fs::is_character_file(resolved) || fs::is_fifo(resolved))
        return StagedFile(named, named, -1);
    const fs::path destination = throughLinks(named);
    const fs::file_status status = fs::status(destination, error);
    if (fs::is_directory(status)) return PlatformError::posix(EISDIR);
    // Other devices are refused.
    if (fs::exists(status) && !fs::is_regular_file(status)) return PlatformError::posix(ENOTSUP);
    // A file its owner write-protected (or made immutable) is refused, as a program writing it
    // in place would be: leave to write its folder is no leave to replace it.
    if (fs::exists(status) && faccessat(AT_FDCWD, destination.c_str(), W_OK, AT_EACCESS) != 0)
        return PlatformError::posix(errno);
    removeAbandoned(destination.parent_path());
    const std::string prefix = stagedPrefix(destination);
    for (int i = 0; i < attempts; ++i) {
        const fs::path path =
            destination.parent_path() / (prefix + randomTag() + std::string(suffix));
        const int fd = open(path.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd < 0 && errno == EEXIST) continue;
        if (fd < 0) return PlatformError::posix(errno);
        // Still the file of that name once locked: another export's clean-up may have taken
        // it for abandoned between its creation and the lock. Where the file system has no
        // locks (some network and shared folders) it goes unlocked: a clean-up there removes
        // nothing, as it cannot lock what it would remove.
        flock(fd, LOCK_EX);
        if (sameFile(fd, path)) {
            takeAccessOf(destination, fd, S_IRUSR | S_IWUSR);
            return StagedFile(path, destination, fd);
        }
        close(fd);
    }
    return PlatformError::posix(EEXIST);
}

StagedFile::StagedFile(fs::path path, fs::path destination, int fd)
    : path_(std::move(path)), destination_(std::move(destination)), fd_(fd) {}

StagedFile::StagedFile(StagedFile&& other) noexcept
    : path_(std::move(other.path_)),
      destination_(std::move(other.destination_)),
      fd_(std::exchange(other.fd_, -1)) {}

StagedFile& StagedFile::operator=(StagedFile&& other) noexcept {
    if (this != &other) {
        release();
        path_ = std::move(other.path_);
        destination_ = std::move(other.destination_);
        fd_ = std::exchange(other.fd_, -1);
    }
    return *this;
}

StagedFile::~StagedFile() {
    release();
}

void StagedFile::release() {
    if (fd_ < 0) return;
    unlink(path_.c_str());
    close(fd_);
    fd_ = -1;
}

std::optional<PlatformError> StagedFile::commit() {
    if (path_ == destination_) return std::nullopt;  // written in place
    if (fd_ < 0) return PlatformError::posix(EBADF);
    takeAccessOf(destination_, fd_, 0);
    takeAttributesOf(destination_, fd_);
    // A file system that allocates late reports a full disk here, not at the write.
    if (fsync(fd_) != 0) return PlatformError::posix(errno);
    if (rename(path_.c_str(), destination_.c_str()) != 0) return PlatformError::posix(errno);
    syncFolder(destination_.parent_path());
    close(fd_);
    fd_ = -1;
    return std::nullopt;
}

}  // namespace pelliqo
