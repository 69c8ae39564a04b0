#include "Clips.h"

#include <cstdlib>

namespace pelliqo::test {

bool makeClip(const std::string& arguments, const std::string& path) {
    const std::string command = "ffmpeg -v error -nostdin -y " + arguments + " '" + path + "'";
    return std::system(command.c_str()) == 0;
}

bool makeMovieWithSound(const std::string& path) {
    return makeClip(
        "-f lavfi -i testsrc2=size=320x240:rate=15:duration=2 -f lavfi -i "
        "sine=frequency=440:sample_rate=44100:duration=2 -ac 1 -c:v libx264 "
        "-pix_fmt yuv420p -c:a aac -shortest",
        path);
}

bool makeTurnedMovie(const std::string& uprightPath, const std::string& turnedPath) {
    // The display rotation is stored only when copying, not while encoding.
    return makeClip("-f lavfi -i testsrc2=size=160x90:rate=10:duration=1 -c:v libx264",
                    uprightPath) &&
           makeClip("-i '" + uprightPath + "' -c copy -metadata:s:v:0 rotate=270", turnedPath);
}

}  // namespace pelliqo::test
