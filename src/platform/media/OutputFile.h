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
    // Creates the file, or empties the one there, for writing.
    static Result<OutputFile> open(const std::filesystem::path& path,
                                   std::optional<std::uint64_t> byteLimit = std::nullopt);

    OutputFile(OutputFile&&) noexcept;
    OutputFile& operator=(OutputFile&&) noexcept;
    ~OutputFile();  // closes without writing what is buffered

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
