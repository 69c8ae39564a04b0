#pragma once

#include "platform/image/PixelBuffer.h"

namespace pelliqo {

// One camera frame as captured: its pixels, when it was taken (capture-clock seconds) and the
// rate the camera was set to deliver (frames a second; 0 when it does not say).
struct CapturedFrame {
    PixelBuffer buffer;
    double time = 0;
    double rate = 0;

    // The rate assumed when the camera does not say.
    static constexpr double usualRate = 30;
    double rateOrUsual() const { return rate > 0 ? rate : usualRate; }
};

}  // namespace pelliqo
