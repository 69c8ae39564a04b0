#pragma once

#include <filesystem>
#include <optional>

#include "errors/PlatformError.h"

namespace pelliqo {

// A fragmented movie cut off while it was written (a full disk, a failed write) may end
// inside a fragment's index, and then no reader opens any of it. This cuts such a file back
// to the end of its last whole fragment (or of its header). Only when no fragment is whole
// does a first one with a whole index and its media cut off stay: readers play it up to the
// cut.
std::optional<PlatformError> trimToWholeFragments(const std::filesystem::path& path);

}  // namespace pelliqo
