#include "errors/ErrorInfo.h"

#include <algorithm>
#include <array>
#include <cerrno>

#include "errors/Texts.h"

namespace pelliqo {

namespace {

// Whether the error, or any error beneath it, is that system error.
bool means(const PlatformError& error, int posixCode) {
    if (error.domain == domain::posix && error.code == posixCode) return true;
    return error.underlying && means(*error.underlying, posixCode);
}

// Errors that say the device itself went away or stopped answering: unplugged, unmounted, a
// network share lost, a write that never ended.
bool meansGone(const PlatformError& error) {
    return std::ranges::any_of(std::array{EIO, ENODEV, ENXIO, ENOTCONN, ESTALE, ETIMEDOUT},
                               [&](int code) { return means(error, code); });
}

std::string messageFor(const PlatformError& error, Failed failed) {
    if (failed == Failed::files) {
        if (ErrorInfo::isDiskFull(error)) return std::string(text::diskFull);
        if (means(error, EFBIG)) return std::string(text::fileTooLarge);
        if (meansGone(error)) return std::string(text::diskGone);
    }
    // A node that vanished between listing and opening is as gone as one unplugged while open.
    if (failed == Failed::camera && (meansGone(error) || means(error, ENOENT)))
        return std::string(text::cameraGone);
    return error.description;
}

}  // namespace

ErrorInfo::ErrorInfo(std::string title_, std::string message_, std::string details_)
    : id(QUuid::createUuid()),
      title(std::move(title_)),
      message(std::move(message_)),
      details(std::move(details_)) {}

ErrorInfo ErrorInfo::report(std::string_view title, std::string_view sentence) {
    return ErrorInfo(std::string(title), std::string(sentence), std::string(sentence));
}

ErrorInfo ErrorInfo::make(std::string_view title, const PlatformError& error, Failed failed) {
    const std::string message = messageFor(error, failed);
    std::string details = "Domain: " + error.domain + "\nCode: " + std::to_string(error.code) +
                          "\n" + error.description;
    if (error.reason) details += "\nReason: " + *error.reason;
    if (const auto& inner = error.underlying) {
        details += "\nUnderlying: " + inner->domain + " " + std::to_string(inner->code) + " " +
                   inner->description;
    }
    return ErrorInfo(std::string(title), message, details);
}

bool ErrorInfo::isDiskFull(const PlatformError& error) {
    // Every layer that runs out of disk says so with ENOSPC (FFmpeg as AVERROR(ENOSPC)).
    return means(error, ENOSPC);
}

}  // namespace pelliqo
