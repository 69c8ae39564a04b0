#pragma once

#include <memory>
#include <optional>
#include <string>

namespace pelliqo {

// Error domains.
namespace domain {
inline constexpr std::string_view posix = "POSIX";    // errno values, FFmpeg's AVERROR(e) included
inline constexpr std::string_view files = "Files";    // our file handling
inline constexpr std::string_view ffmpeg = "FFmpeg";  // FFmpeg's own codes that are not errno
inline constexpr std::string_view app = "Pelliqo";    // AppErr
inline constexpr std::string_view decoding = "Decoding";  // stored data we cannot read back
}  // namespace domain

// Every failure below the models travels as one of these: domain, code, description,
// an optional reason and an optional underlying error.
struct PlatformError {
    std::string domain;
    int code = 0;
    std::string description;
    std::optional<std::string> reason;
    std::shared_ptr<const PlatformError> underlying;

    // An errno value in the POSIX domain, described by the C library.
    static PlatformError posix(int errnum);
};

}  // namespace pelliqo
