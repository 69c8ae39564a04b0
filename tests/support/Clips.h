#pragma once

#include <string>

namespace pelliqo::test {

// "ffmpeg -y " + arguments + " " + path; false when ffmpeg fails.
bool makeClip(const std::string& arguments, const std::string& path);

// 320 × 240 at 15 fps, 2 seconds, with a mono 44.1 kHz tone: the usual test movie.
bool makeMovieWithSound(const std::string& path);

// A 160 × 90 movie, and a copy of it stored with a quarter turn to the right.
bool makeTurnedMovie(const std::string& uprightPath, const std::string& turnedPath);

}  // namespace pelliqo::test
