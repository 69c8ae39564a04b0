#include "platform/capture/CameraMode.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>

namespace pelliqo {

namespace {

// The rate a mode gives when the wanted one is asked for; 0 when it lists none. Rates come
// from frame intervals in 100 ns units: 1/30 s reads as a hair above 30.
double rateFor(const CameraMode& mode, double wanted) {
    const double ceiling = wanted * 1.001;
    double below = 0;
    double above = 0;
    for (const double rate : mode.rates) {
        if (!(rate > 0)) continue;
        if (rate <= ceiling) below = std::max(below, rate);
        if (rate > ceiling) above = above > 0 ? std::min(above, rate) : rate;
    }
    return below > 0 ? below : above;
}

// How well a rate serves the wanted one: any rate at or above it serves fully.
double served(double rate, double wanted) {
    return std::min(rate, wanted);
}

bool isMotionJpeg(const CameraMode& mode) {
    return mode.format == "mjpeg";
}

}  // namespace

std::optional<CameraChoice> chooseCameraMode(const std::vector<CameraMode>& modes, int width,
                                             int height, double rate) {
    std::vector<const CameraMode*> usable;
    for (const CameraMode& mode : modes)
        if (mode.width > 0 && mode.height > 0 && rateFor(mode, rate) > 0) usable.push_back(&mode);
    if (usable.empty()) return std::nullopt;
    // The size: the wanted one, else the nearest in area (the larger of two as near).
    const double wantedArea = static_cast<double>(width) * height;
    const auto distance = [&](const CameraMode* mode) {
        return std::abs(static_cast<double>(mode->width) * mode->height - wantedArea);
    };
    const CameraMode* sized = *std::ranges::min_element(usable, [&](auto* a, auto* b) {
        if (distance(a) != distance(b)) return distance(a) < distance(b);
        return a->width > b->width;
    });
    std::erase_if(usable, [&](const CameraMode* mode) {
        return mode->width != sized->width || mode->height != sized->height;
    });
    double best = 0;
    for (const CameraMode* mode : usable) best = std::max(best, served(rateFor(*mode, rate), rate));
    const auto reaching = [&](auto&& kind) {
        return std::ranges::find_if(usable, [&](const CameraMode* mode) {
            // 29.97 serves as well as 30.
            return kind(*mode) && served(rateFor(*mode, rate), rate) >= best * 0.99;
        });
    };
    auto chosen = reaching([](const CameraMode& mode) { return !mode.compressed; });
    if (chosen == usable.end()) chosen = reaching(isMotionJpeg);
    if (chosen == usable.end()) chosen = reaching([](const CameraMode&) { return true; });
    const CameraMode& mode = **chosen;
    return CameraChoice{mode.format, mode.width, mode.height, rateFor(mode, rate)};
}

std::map<std::string, std::string> captureOptions(const CameraChoice& choice) {
    char rate[32];
    std::snprintf(rate, sizeof rate, "%g", choice.rate);
    return {{"input_format", choice.format},
            {"video_size", std::to_string(choice.width) + "x" + std::to_string(choice.height)},
            {"framerate", rate}};
}

}  // namespace pelliqo
