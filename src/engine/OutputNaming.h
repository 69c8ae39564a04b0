#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "engine/EffectSettings.h"

namespace pelliqo {

// Where movies go and how they are named.
namespace OutputNaming {

// The user's Videos folder, or the home folder when the desktop reports none. Neither
// created nor checked.
std::filesystem::path moviesFolder();
// The first reported folder, or home when none is reported.
std::filesystem::path moviesFolder(const std::vector<std::filesystem::path>& reported,
                                   const std::filesystem::path& home);

// Bytes available to the user on the volume holding the location; nothing when the volume
// cannot tell (callers then skip their space check).
std::optional<std::int64_t> freeSpace(const std::filesystem::path& location);

// The current local date and time as "yyyy-MM-dd HH.mm.ss", usable in a file name.
std::string stamp();

}  // namespace OutputNaming

// Seconds as minutes and two-digit seconds ("62:05"); negative, infinite or NaN read 0:00.
std::string formatTime(double seconds);

// The first of "base.ext", "base 2.ext", "base 3.ext", … that does not exist yet.
std::filesystem::path firstFreePath(const std::filesystem::path& folder, const std::string& base,
                                    const std::string& extension);

struct RecordingPaths {
    std::filesystem::path processed;
    std::optional<std::filesystem::path> original;  // the unprocessed take, when kept
};

// Names for one recording; the processed file and the original take find their free
// names independently.
RecordingPaths recordingPaths(const std::filesystem::path& folder, const std::string& stamp,
                              BackgroundKind kind, bool keepOriginal);

// True when both name the same file once made absolute and tidied ("a/./b" and "a/b"), or
// are the same existing file.
bool sameLocation(const std::filesystem::path& a, const std::filesystem::path& b);

// The name proposed for an export of the input file: "clip pelliqo.mp4".
std::string exportName(const std::filesystem::path& input, BackgroundKind kind);

// A chosen name that ends in the extension of what is saved there (in any case) as it is;
// any other gets the extension added, so that "talk" and "talk.webm" become "talk.mp4" and
// "talk.webm.mp4": editors and file managers know a movie by its name.
std::filesystem::path withExtension(const std::filesystem::path& chosen,
                                    std::string_view extension);

}  // namespace pelliqo
