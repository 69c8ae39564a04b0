#pragma once

#include <filesystem>

namespace pelliqo {

// Shows the file selected in the desktop's file manager (the FileManager1 D-Bus service),
// or opens its folder when no such service runs. Returns at once.
void revealInFileManager(const std::filesystem::path& file);

}  // namespace pelliqo
