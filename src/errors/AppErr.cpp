#include "errors/AppErr.h"

#include "errors/Texts.h"

namespace pelliqo {

namespace {
// Stable codes for the details text of our own errors.
constexpr int messageCode = 1;
constexpr int cancelledCode = 2;
}  // namespace

std::string AppErr::errorDescription() const {
    return kind_ == Kind::cancelled ? std::string(text::cancelled) : text_;
}

AppErr::operator PlatformError() const {
    return PlatformError{std::string(domain::app), isCancelled() ? cancelledCode : messageCode,
                         errorDescription(), std::nullopt, nullptr};
}

bool isCancellation(const PlatformError& error) {
    return error.domain == domain::app && error.code == cancelledCode;
}

}  // namespace pelliqo
