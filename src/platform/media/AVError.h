#pragma once

#include "errors/PlatformError.h"

namespace pelliqo {

// An FFmpeg return code as an error: AVERROR(e) keeps its errno meaning in the POSIX
// domain (so a full disk stays a full disk); FFmpeg's own codes go to the FFmpeg domain.
PlatformError fromAVError(int averror);

}  // namespace pelliqo
