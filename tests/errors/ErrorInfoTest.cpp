#include <gtest/gtest.h>

#include "errors/AppErr.h"
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

TEST(ErrorInfo, DiskFullIsRecognisedOnlyInItsOwnDomain) {
    EXPECT_FALSE(ErrorInfo::isDiskFull(error(domain::files, 28, "x")));
    EXPECT_FALSE(ErrorInfo::isDiskFull(PlatformError::posix(5)));
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

TEST(ErrorInfo, ReasonFollowsTheDescriptionAndComesBeforeTheUnderlyingError) {
    PlatformError failed = error(domain::ffmpeg, 3, "Could not open the file");
    failed.reason = "The container is damaged";
    failed = failed.withUnderlying(PlatformError::posix(2));

    const ErrorInfo info = ErrorInfo::make("Can't read this file", failed);
    EXPECT_EQ(info.message, "Could not open the file");
    EXPECT_EQ(info.details,
              "Domain: FFmpeg\nCode: 3\nCould not open the file\nReason: The container is "
              "damaged\nUnderlying: POSIX 2 No such file or directory");
}

TEST(ErrorInfo, AppErrMessagesAndCancellation) {
    const ErrorInfo info = ErrorInfo::make("Processing stopped",
                                           AppErr::message(std::string(text::failure::notAVideo)));
    EXPECT_EQ(info.message, "This file can't be read as a video.");
    EXPECT_EQ(info.details.substr(0, info.details.find('\n')), "Domain: Pelliqo");

    EXPECT_EQ(AppErr::cancelled().errorDescription(), "Cancelled.");
    EXPECT_TRUE(isCancellation(AppErr::cancelled()));
    EXPECT_FALSE(isCancellation(AppErr::message("Cancelled.")));
    EXPECT_FALSE(isCancellation(PlatformError::posix(ECANCELED)));
}

TEST(ErrorInfo, EveryReportIsNewEvenForTheSameFailure) {
    const PlatformError failure = PlatformError::posix(5);
    const ErrorInfo first = ErrorInfo::make("Recording stopped", failure);
    const ErrorInfo second = ErrorInfo::make("Recording stopped", failure);
    EXPECT_NE(first, second);
    EXPECT_NE(first.id, second.id);
    EXPECT_EQ(first, first);
}

TEST(ErrorInfo, DirectReportsRepeatTheSentenceAsDetails) {
    const ErrorInfo info =
        ErrorInfo::report(text::title::cameraNotReady, text::report::cameraNotReady);
    EXPECT_EQ(info.title, "Camera not ready");
    EXPECT_EQ(info.message, "Wait until the preview is showing, then press Record.");
    EXPECT_EQ(info.details, info.message);
}

TEST(ErrorInfo, FailureTextsUseThisComputersWording) {
    for (std::string_view sentence :
         {text::failure::liveH264Unsupported, text::failure::liveAlphaUnsupported,
          text::failure::videoTrackUndecodable, text::failure::h264SizeUnsupported,
          text::failure::alphaUnsupported, text::report::unreadableVideoSuffix}) {
        const bool named = sentence.find("this computer") != std::string_view::npos ||
                           sentence.find("This computer") != std::string_view::npos;
        EXPECT_TRUE(named) << sentence;
        EXPECT_EQ(sentence.find("Mac"), std::string_view::npos) << sentence;
        EXPECT_EQ(sentence.find("HEVC"), std::string_view::npos) << sentence;
    }
    EXPECT_NE(text::report::recordingNoRoom.find("Videos folder"), std::string_view::npos);
}

}  // namespace
}  // namespace pelliqo
