#include "Clips.h"

#include <cstdlib>

namespace pelliqo::test {

bool makeClip(const std::string& arguments, const std::string& path) {
    const std::string command = "ffmpeg -v error -nostdin -y " + arguments + " '" + path + "'";
    return std::system(command.c_str()) == 0;
}

}  // namespace pelliqo::test
