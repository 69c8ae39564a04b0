#pragma once

#include <filesystem>
#include <optional>

#include "errors/Result.h"

namespace pelliqo {

// A file written beside its destination under a hidden name, and moved over the destination
// only once it is complete: whatever the destination held stays as it was until then, and a
// run that is cancelled, fails or is killed leaves nothing but its own hidden file. That
// file is locked while its writer lives, so that the next export into the same folder can
// tell one left by a killed run, and remove it, from one still being written (where the
// file system has no locks, nothing is removed).
class StagedFile {
  public:
    // Removes what killed runs left in the destination's folder, then makes a new, empty file.
    // Fails when the destination is a folder, a file that may not be written (write-protected)
    // or its folder cannot be written. A destination that is a device or a pipe (/dev/null) is
    // itself the file, written in place; one that is a link is written through, the link kept.
    static Result<StagedFile> create(const std::filesystem::path& destination);

    StagedFile(StagedFile&& other) noexcept;
    StagedFile& operator=(StagedFile&& other) noexcept;
    ~StagedFile();  // removes the file unless it was committed

    const std::filesystem::path& path() const { return path_; }
    // Whether it is the destination itself (a device or a pipe), which can only be written
    // from start to end.
    bool inPlace() const { return path_ == destination_; }

    // Makes the file the destination: its data on the disk first, then moved over whatever
    // is at the destination. The file is left staged when that fails.
    std::optional<PlatformError> commit();

    // Whether a file's name is one a staged file (for any destination) would have.
    static bool isStaged(const std::filesystem::path& file);

  private:
    StagedFile(std::filesystem::path path, std::filesystem::path destination, int fd);
    void release();

    std::filesystem::path path_;
    std::filesystem::path destination_;
    int fd_ = -1;  // holds the lock
};

}  // namespace pelliqo
