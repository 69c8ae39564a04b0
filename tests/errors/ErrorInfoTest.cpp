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
    EXPECT_EQ(
        ErrorInfo::make("Processing stopped", PlatformError::posix(ENOSPC), Failed::files).message,
        text::diskFull);
    const PlatformError middle =
        error(domain::ffmpeg, -1, "The writer failed", PlatformError::posix(ENOSPC));
    const ErrorInfo info = ErrorInfo::make(
        "Recording stopped", error(domain::files, 512, "Saving failed", middle), Failed::files);
    EXPECT_EQ(info.title, "Recording stopped");
    EXPECT_EQ(info.message, text::diskFull);
    EXPECT_NE(info.details.find("Saving failed"), std::string::npos);
    EXPECT_NE(info.details.find("The writer failed"), std::string::npos);
    EXPECT_EQ(info.details.find("No space left"), std::string::npos);
}

// One system error is told by what failed: a device gone is a disk to a file and an unplugged
// camera to a camera; what has no words of ours keeps the system's.
TEST(ErrorInfo, WhatWentAwayIsToldByWhatFailed) {
    const PlatformError gone = PlatformError::posix(ENODEV);
    EXPECT_EQ(ErrorInfo::make("", gone, Failed::files).message, text::diskGone);
    EXPECT_EQ(ErrorInfo::make("", gone, Failed::camera).message, text::cameraGone);
    EXPECT_EQ(ErrorInfo::make("", gone, Failed::cameraOutput).message, gone.description);
    const PlatformError lostShare =
        error(domain::ffmpeg, -1, "Writing failed", PlatformError::posix(ENOTCONN));
    EXPECT_EQ(ErrorInfo::make("", lostShare, Failed::files).message, text::diskGone);
    const PlatformError refused = PlatformError::posix(EACCES);
    EXPECT_EQ(ErrorInfo::make("", refused, Failed::files).message, refused.description);
}

}  // namespace
}  // namespace pelliqo
