#pragma once

#include <filesystem>
#include <optional>

#include "errors/Result.h"

namespace pelliqo {

// What comes down a pipe can be read once, and a movie is read more than once (looked at
// first, then a track at a time). So a pipe given as the input is first copied into a file
// of the temporary folder ($TMPDIR), which goes with the spool.
class PipeSpool {
  public:
    // Nothing when the input is not a pipe. Fails as writing fails (a full disk), or as
    // cancelled on Ctrl-C.
    static Result<std::optional<PipeSpool>> of(const std::filesystem::path& input);
    // Where the copy goes.
    static std::filesystem::path folder();

    PipeSpool(PipeSpool&& other) noexcept : path_(std::exchange(other.path_, {})) {}
    PipeSpool& operator=(PipeSpool&&) = delete;
    PipeSpool(const PipeSpool&) = delete;
    ~PipeSpool();

    const std::filesystem::path& path() const { return path_; }

  private:
    explicit PipeSpool(std::filesystem::path path) : path_(std::move(path)) {}
    std::filesystem::path path_;
};

}  // namespace pelliqo
