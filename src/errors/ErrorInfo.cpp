#include "errors/ErrorInfo.h"

#include <cerrno>

#include "errors/Texts.h"

namespace pelliqo {

namespace {

// Whether the error, or any error beneath it, is that system error.
bool means(const PlatformError& error, int posixCode) {
    if (error.domain == domain::posix && error.code == posixCode) return true;
    return error.underlying && means(*error.underlying, posixCode);
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

ErrorInfo ErrorInfo::make(std::string_view title, const PlatformError& error) {
    const std::string message = isDiskFull(error)     ? std::string(text::diskFull)
                                : means(error, EFBIG) ? std::string(text::fileTooLarge)
                                                      : error.description;
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
