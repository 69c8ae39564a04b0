#include <gtest/gtest.h>

extern "C" {
#include <libavutil/error.h>
}

#include "errors/ErrorInfo.h"
#include "platform/media/AVError.h"

namespace pelliqo {
namespace {

TEST(AVError, ErrnoCodesKeepTheirMeaningInThePosixDomain) {
    const PlatformError full = fromAVError(AVERROR(ENOSPC));
    EXPECT_EQ(full.domain, "POSIX");
    EXPECT_EQ(full.code, 28);
    EXPECT_TRUE(ErrorInfo::isDiskFull(full));
    EXPECT_EQ(ErrorInfo::make("Processing stopped", full).message,
              "The disk is full. Free some space and try again.");

    EXPECT_EQ(fromAVError(AVERROR(EACCES)), PlatformError::posix(EACCES));
}

}  // namespace
}  // namespace pelliqo
