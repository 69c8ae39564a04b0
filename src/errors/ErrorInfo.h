#pragma once

#include <QUuid>
#include <string>
#include <string_view>

#include "errors/PlatformError.h"

namespace pelliqo {

// What the failed work was reading or writing: the same system error means a disk gone to a
// file and an unplugged camera to a camera.
enum class Failed { files, camera, cameraOutput };

// One failure as the user sees it: what stopped, what to do, and the technical details.
struct ErrorInfo {
    QUuid id;
    std::string title;
    std::string message;
    std::string details;

    // A fresh report; every report gets its own id, so a new one always reads as a change.
    ErrorInfo(std::string title, std::string message, std::string details);

    // A condition a model detected itself: the sentence is both message and details.
    static ErrorInfo report(std::string_view title, std::string_view sentence);

    // A report for any error, told in the user's words where what failed tells what it means
    // (a full disk, a disk or camera gone), else in the system's.
    static ErrorInfo make(std::string_view title, const PlatformError& error, Failed failed);

    // True when the error, or any error beneath it, means the disk ran out of space.
    static bool isDiskFull(const PlatformError& error);

    bool operator==(const ErrorInfo&) const = default;
};

}  // namespace pelliqo
