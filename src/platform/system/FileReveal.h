#pragma once

#include <filesystem>
#include <vector>

namespace pelliqo {

// Shows the file selected in the desktop's file manager (the FileManager1 D-Bus service),
// or opens its folder when no such service runs. Returns at once.
void revealInFileManager(const std::filesystem::path& file);
// Several files of one folder, all selected.
void revealInFileManager(const std::vector<std::filesystem::path>& files);

}  // namespace pelliqo
