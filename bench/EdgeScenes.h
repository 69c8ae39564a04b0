#pragma once

// The edge benchmark's clips: a photo's person, its reference mask as alpha, pasted over a
// background picture and moved the way people and cameras move.
#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>
#include <string>
#include <vector>

namespace pelliqo::bench {

constexpr int width = 1280;
constexpr int height = 720;
constexpr int frames = 30;
constexpr int step = 6;  // pixels a frame, for whatever moves sideways

enum class Motion {
    still,        // nothing moves; camera-like noise of σ = 8
    walking,      // the person moves sideways
    panning,      // the camera pans: person and background move together
    approaching,  // the person grows 1 % a frame, as when walking towards the camera
    behind,       // the person stands still in front of a moving background
    waving,       // one region of the person (an arm) moves fast, the rest is still
};

struct Scene {
    const char* name;
    Motion motion;
};

inline const std::vector<Scene> scenes = {
    {"still", Motion::still},     {"walking", Motion::walking},
    {"panning", Motion::panning}, {"approaching", Motion::approaching},
    {"behind", Motion::behind},   {"waving", Motion::waving},
};

// Where this run keeps its clips: a folder of its own, so that runs side by side do not meet;
// or, to compare one change after another on the same clips, the folder named by
// PELLIQO_QUALITY_CLIPS, where clips already made (in one layout) are used again and kept.
inline const char* keptClips() {
    return std::getenv("PELLIQO_QUALITY_CLIPS");
}

inline const std::filesystem::path& workFolder() {
    static const std::filesystem::path folder = [] {
        auto made = keptClips() ? std::filesystem::path(keptClips())
                                : std::filesystem::temp_directory_path() /
                                      ("pelliqo-quality-" + std::to_string(getpid()));
        std::filesystem::create_directories(made);
        return made;
    }();
    return folder;
}

// Whether the clip must be written: always, unless it is kept from before.
inline bool mustWrite(const std::filesystem::path& clip) {
    return !keptClips() || !std::filesystem::exists(clip);
}

struct Clip {
    std::filesystem::path file;
    std::vector<cv::Mat> alpha;  // per frame, CV_32F 0…1 at the frame's size
};

// A layer: BGR pixels and their alpha (CV_32F 0…1), the same size.
struct Layer {
    cv::Mat picture;
    cv::Mat alpha;
};

// The layer drawn over frame and alpha at (x, y), clipped to the frame.
inline void paste(const Layer& layer, int x, int y, cv::Mat& frame, cv::Mat& alpha) {
    const cv::Rect place =
        cv::Rect(x, y, layer.picture.cols, layer.picture.rows) & cv::Rect(0, 0, width, height);
    if (place.empty()) return;
    const cv::Rect inside(place.x - x, place.y - y, place.width, place.height);
    const cv::Mat a = layer.alpha(inside);
    cv::Mat fg, bg, a3;
    layer.picture(inside).convertTo(fg, CV_32FC3);
    frame(place).convertTo(bg, CV_32FC3);
    cv::merge(std::vector<cv::Mat>{a, a, a}, a3);
    const cv::Mat mixed = fg.mul(a3) + bg.mul(cv::Scalar::all(1) - a3);
    mixed.convertTo(frame(place), CV_8UC3);
    const cv::Mat under = alpha(place);
    cv::Mat over = a + under.mul(1 - a);
    over.copyTo(under);
}

inline Layer scaled(const Layer& layer, double factor) {
    const cv::Size size(static_cast<int>(std::lround(layer.picture.cols * factor)),
                        static_cast<int>(std::lround(layer.picture.rows * factor)));
    Layer out;
    cv::resize(layer.picture, out.picture, size, 0, 0, cv::INTER_LINEAR);
    cv::resize(layer.alpha, out.alpha, size, 0, 0, cv::INTER_LINEAR);
    return out;
}

// The person split in two: the body, and the arm it waves (the left third of the person at
// mid-height), each with the other's alpha taken out.
inline std::pair<Layer, Layer> armAndBody(const Layer& person) {
    const cv::Rect box = cv::boundingRect(person.alpha > 0.5f);
    const cv::Rect arm(box.x, box.y + box.height * 35 / 100, box.width * 35 / 100,
                       box.height * 40 / 100);
    Layer body{person.picture, person.alpha.clone()}, moving{person.picture, person.alpha.clone()};
    body.alpha(arm).setTo(0);
    cv::Mat outside(person.alpha.size(), CV_8U, cv::Scalar(255));
    outside(arm).setTo(0);
    moving.alpha.setTo(0, outside);
    return {body, moving};
}

// Frame i of the scene: the picture and the person's alpha.
inline void drawFrame(const Scene& scene, const Layer& person, const cv::Mat& wideBackground, int i,
                      cv::Mat& frame, cv::Mat& alpha) {
    const bool backgroundMoves = scene.motion == Motion::panning || scene.motion == Motion::behind;
    frame = wideBackground(cv::Rect(backgroundMoves ? i * step : 0, 0, width, height)).clone();
    alpha = cv::Mat(height, width, CV_32F, cv::Scalar(0));
    const int x = (width - person.picture.cols) / 2, y = height - person.picture.rows;
    const int sideways = (i - frames / 2) * step;
    switch (scene.motion) {
        case Motion::still:
        case Motion::behind:
            paste(person, x, y, frame, alpha);
            break;
        case Motion::walking:
            paste(person, x + sideways, y, frame, alpha);
            break;
        case Motion::panning:
            paste(person, x - sideways, y, frame, alpha);
            break;
        case Motion::approaching: {
            const Layer grown = scaled(person, 0.85 * std::pow(1.01, i));
            paste(grown, (width - grown.picture.cols) / 2, height - grown.picture.rows, frame,
                  alpha);
            break;
        }
        case Motion::waving: {
            const auto [body, arm] = armAndBody(person);
            paste(body, x, y, frame, alpha);
            // Up and down, up to 16 px a frame.
            const int lift = static_cast<int>(std::lround(30 * std::sin(2 * CV_PI * i / 12)));
            paste(arm, x, y - lift, frame, alpha);
            break;
        }
    }
}

// Writes the frames as a lossless H.264 clip with the ffmpeg tool: 4:4:4, or 4:2:0 in BT.709.
inline bool writeClip(const std::vector<cv::Mat>& pictures, const std::filesystem::path& file,
                      bool yuv420) {
    const std::string layout =
        yuv420 ? "-vf scale=out_color_matrix=bt709:out_range=tv -colorspace bt709 "
                 "-color_primaries bt709 -color_trc bt709 -pix_fmt yuv420p"
               : "-pix_fmt yuv444p";
    const std::string command = "ffmpeg -v error -nostdin -y -f rawvideo -pix_fmt bgr24 -s " +
                                std::to_string(width) + "x" + std::to_string(height) +
                                " -r 30 -i - -c:v libx264 -qp 0 " + layout + " '" + file.string() +
                                "'";
    FILE* pipe = popen(command.c_str(), "w");
    if (pipe == nullptr) return false;
    for (const cv::Mat& p : pictures) fwrite(p.data, 1, p.total() * p.elemSize(), pipe);
    return pclose(pipe) == 0;
}

// The clip of a photo's person in a scene; an empty file name when it could not be made.
inline Clip makeClip(const std::string& photo, const Scene& scene, const cv::Mat& background,
                     bool yuv420) {
    const std::string people = PELLIQO_TEST_DATA "/people/";
    Layer person{cv::imread(people + photo + ".png", cv::IMREAD_COLOR), {}};
    cv::imread(people + photo + ".reference-balanced.png", cv::IMREAD_GRAYSCALE)
        .convertTo(person.alpha, CV_32F, 1 / 255.0);
    // Wide enough for the background to move a step a frame; the still scenes see the
    // picture at the frame's size.
    cv::Mat wide;
    cv::resize(background, wide, cv::Size(width, height), 0, 0, cv::INTER_AREA);
    if (scene.motion == Motion::panning || scene.motion == Motion::behind)
        cv::resize(background, wide, cv::Size(width + frames * step, height), 0, 0, cv::INTER_AREA);
    Clip clip{workFolder() / (photo + "-" + scene.name + ".mp4"), {}};
    const double sigma = scene.motion == Motion::still ? 8 : 3;
    cv::RNG noise(static_cast<std::uint64_t>(sigma));
    std::vector<cv::Mat> pictures;
    for (int i = 0; i < frames; ++i) {
        cv::Mat frame, alpha;
        drawFrame(scene, person, wide, i, frame, alpha);
        cv::Mat grain(frame.size(), CV_16SC3), noisy;
        noise.fill(grain, cv::RNG::NORMAL, 0, sigma);
        cv::add(frame, grain, noisy, cv::noArray(), CV_8UC3);
        pictures.push_back(noisy);
        clip.alpha.push_back(alpha);
    }
    if (mustWrite(clip.file) && !writeClip(pictures, clip.file, yuv420)) clip.file.clear();
    return clip;
}

}  // namespace pelliqo::bench
