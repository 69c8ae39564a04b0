#pragma once

#include <map>
#include <optional>
#include <string>
#include <vector>

namespace pelliqo {

// One way a camera can deliver its pictures: an encoding at one size, with the frame rates
// it offers there.
struct CameraMode {
    std::string format;       // FFmpeg's name for it: "yuyv422", "nv12", "mjpeg", …
    bool compressed = false;  // Motion-JPEG and the like, which the camera encodes
    int width = 0;
    int height = 0;
    std::vector<double> rates;  // frames per second
    bool operator==(const CameraMode&) const = default;
};

// The mode a camera is opened in.
struct CameraChoice {
    std::string format;
    int width = 0;
    int height = 0;
    double rate = 0;
    bool operator==(const CameraChoice&) const = default;
};

// The mode for a wanted size and rate: the wanted size, else the size nearest it (by area)
// that the camera has; there, the wanted rate or the highest below it (the lowest above it
// when there is none below). A raw format when it reaches the best rate any format gives
// at that size (within 1 %), since it costs no decoding; else Motion-JPEG when it does; else
// whatever format gives that rate. Nothing when the camera lists no mode.
std::optional<CameraChoice> chooseCameraMode(const std::vector<CameraMode>& modes, int width,
                                             int height, double rate);

// The options that open FFmpeg's V4L2 input in that mode.
std::map<std::string, std::string> captureOptions(const CameraChoice& choice);

}  // namespace pelliqo
