#include <gtest/gtest.h>

#include <cerrno>

#include "errors/ErrorInfo.h"
#include "errors/Texts.h"

namespace pelliqo {
namespace {

PlatformError error(std::string_view domainName, int code, std::string description,
                    std::optional<PlatformError> underlying = std::nullopt) {
    return PlatformError{std::string(domainName), code, std::move(description), std::nullopt,
                         underlying ? std::make_shared<const PlatformError>(*underlying) : nullptr};
}

TEST(ErrorInfo, AFullDiskAtAnyDepthIsToldAsSuchAndTheDetailsGoOneLevelDown) {
    EXPECT_EQ(ErrorInfo::make("Processing stopped", PlatformError::posix(ENOSPC)).message,
              text::diskFull);
    const PlatformError middle =
        error(domain::ffmpeg, -1, "The writer failed", PlatformError::posix(ENOSPC));
    const ErrorInfo info =
        ErrorInfo::make("Recording stopped", error(domain::files, 512, "Saving failed", middle));
    EXPECT_EQ(info.title, "Recording stopped");
    EXPECT_EQ(info.message, text::diskFull);
    EXPECT_NE(info.details.find("Saving failed"), std::string::npos);
    EXPECT_NE(info.details.find("The writer failed"), std::string::npos);
    EXPECT_EQ(info.details.find("No space left"), std::string::npos);

    const ErrorInfo other = ErrorInfo::make("Processing stopped", PlatformError::posix(EACCES));
    EXPECT_EQ(other.message, PlatformError::posix(EACCES).description);
}

}  // namespace
}  // namespace pelliqo
