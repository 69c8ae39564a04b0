#include "errors/PlatformError.h"

#include <cstring>

namespace pelliqo {

PlatformError PlatformError::posix(int errnum) {
    char buffer[256];
    // GNU strerror_r may return a static string instead of filling the buffer.
    const char* text = strerror_r(errnum, buffer, sizeof buffer);
    return PlatformError{std::string(domain::posix), errnum, text, std::nullopt, nullptr};
}

}  // namespace pelliqo
