#pragma once

#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>

#include "errors/Result.h"

struct AVIOContext;

namespace pelliqo {

// The file a muxer writes into, through our own write and seek: every failed write reaches
// the muxer as the system's error. A limit makes every write past that many bytes fail as
// a full disk does (what a small disk does, at a byte of our choosing).
class OutputFile {
  public:
    // What to do with a file already at the path: empty it and write there, or fail (EEXIST)
    // and leave it as it is. A pipe or device there is written into either way, as it holds
    // nothing to lose.
    enum class Existing { replace, keep };

    // Creates the file, or takes the one there as told, for writing.
    static Result<OutputFile> open(const std::filesystem::path& path,
                                   std::optional<std::uint64_t> byteLimit = std::nullopt,
                                   Existing existing = Existing::replace);

    OutputFile(OutputFile&&) noexcept;
    OutputFile& operator=(OutputFile&&) noexcept;
    ~OutputFile();  // closes without writing what is buffered

    // Whether the open made a new file; only known when existing files are kept.
    bool created() const;
    // What the muxer writes through; owned by this file.
    AVIOContext* io() const;
    // Writes what is buffered and closes the file: the first failure on the way, if any.
    std::optional<PlatformError> close();

    struct State;

  private:
    explicit OutputFile(std::unique_ptr<State> state);
    std::unique_ptr<State> state_;
};

}  // namespace pelliqo
