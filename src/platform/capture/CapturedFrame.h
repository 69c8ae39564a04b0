#pragma once

#include "platform/image/PixelBuffer.h"

namespace pelliqo {

// One camera frame as captured: its pixels and when it was taken, in capture-clock seconds.
struct CapturedFrame {
    PixelBuffer buffer;
    double time = 0;
};

}  // namespace pelliqo
