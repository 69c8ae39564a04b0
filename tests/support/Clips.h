#pragma once

#include <string>

namespace pelliqo::test {

// Makes a small movie with the ffmpeg tool: "ffmpeg -y " + arguments + " " + path.
// False when ffmpeg fails.
bool makeClip(const std::string& arguments, const std::string& path);

}  // namespace pelliqo::test
