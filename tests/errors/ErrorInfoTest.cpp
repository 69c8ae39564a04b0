#include <gtest/gtest.h>

#include "errors/ErrorInfo.h"
#include "errors/Texts.h"

namespace pelliqo {
namespace {

PlatformError error(std::string_view domainName, int code, std::string description) {
    return PlatformError{std::string(domainName), code, std::move(description), std::nullopt,
                         nullptr};
}

TEST(ErrorInfo, PosixNoSpaceIsDiskFullWithThreeLineDetails) {
    const PlatformError noSpace = PlatformError::posix(28);
    const ErrorInfo info = ErrorInfo::make("Processing stopped", noSpace);
    EXPECT_EQ(info.title, "Processing stopped");
    EXPECT_EQ(info.message, "The disk is full. Free some space and try again.");
    EXPECT_EQ(info.details, "Domain: POSIX\nCode: 28\nNo space left on device");
}

TEST(ErrorInfo, DiskFullDeepUnderneathCountsButDetailsNameOnlyTheFirstLevel) {
    const PlatformError deepest = PlatformError::posix(28);
    const PlatformError middle =
        error(domain::ffmpeg, -1, "The writer failed").withUnderlying(deepest);
    const PlatformError top = error(domain::files, 512, "Saving failed").withUnderlying(middle);

    const ErrorInfo info = ErrorInfo::make("Recording stopped", top);
    EXPECT_EQ(info.message, text::diskFull);
    EXPECT_EQ(info.details,
              "Domain: Files\nCode: 512\nSaving failed\nUnderlying: FFmpeg -1 The writer failed");
}

}  // namespace
}  // namespace pelliqo
