#pragma once

#include <filesystem>
#include <optional>
#include <ostream>

#include "errors/Result.h"
#include "platform/system/FileDescriptor.h"

namespace pelliqo {

// A named pipe given as the output can only be opened once a program opens it to read; an
// open that waited for that could not be interrupted. So the wait is here, in short steps
// that hear Ctrl-C, and the pipe is held open for writing until the export is over, so that
// its reader does not see the end before the movie begins.
class OutputPipe {
  public:
    // Nothing when the output is not a named pipe. Says on err that it waits, when it has to;
    // fails as cancelled on Ctrl-C.
    static Result<std::optional<OutputPipe>> of(const std::filesystem::path& output,
                                                std::ostream& err);

  private:
    explicit OutputPipe(FileDescriptor held) : held_(std::move(held)) {}
    FileDescriptor held_;
};

}  // namespace pelliqo
