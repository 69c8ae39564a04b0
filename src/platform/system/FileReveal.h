#pragma once

#include <filesystem>
#include <vector>

namespace pelliqo {

// Shows the file selected in the desktop's file manager (the FileManager1 D-Bus service,
// started by the bus if need be), or opens its folder when there is none or it fails.
// Returns at once.
void revealInFileManager(const std::filesystem::path& file);
// Several files of one folder, all selected.
void revealInFileManager(const std::vector<std::filesystem::path>& files);

}  // namespace pelliqo
