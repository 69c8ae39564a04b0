// Edge quality of the mask through the real export: flicker where nothing moves, the trail a
// moving person leaves, and the error against the known alpha. Run by hand:
//   ./build/bench/pelliqo_edge_quality [--smoothed-only] [--quality Q] [--420] [BACKGROUND.jpg]
// Each shared photo, its reference mask as alpha, is pasted over a background picture
// (opencv-doc's building.jpg unless one is given) and made into two 720p clips: (a) still,
// with camera-like noise of σ = 8 grey levels, (b) moving 6 px a frame, noise σ = 3. Every
// quality exports them with the mask view and no edge softness; the decoded masks are
// compared with the alpha that made the clip. "raw" rows are the same without "Reduce
// flicker". Columns: flicker (still clip) is the mean change of the mask between frames in
// the band 8 px either side of the person's edge; trail (moving clip) is the mean mask on
// pixels the person left in the last three frames; error is the mean |mask − alpha| (both
// clips); all in grey levels of 255. dtSSD is the root mean square of the difference between
// the mask's and the alpha's change from frame to frame, × 100. The clips are lossless 4:4:4,
// which exports read as BGRA; with --420 they are 4:2:0 in BT.709, as HD movies are, which
// exports keep in those colours (the mask found in a half-size picture).
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>
#include <string>
#include <vector>

#include "BenchApplication.h"
#include "BenchExport.h"
#include "platform/image/MatView.h"
#include "platform/media/MovieAsset.h"
#include "platform/media/TrackReader.h"

namespace pelliqo {
namespace {

namespace fs = std::filesystem;

constexpr int width = 1280;
constexpr int height = 720;
constexpr int frames = 30;
constexpr int step = 6;        // pixels a frame, moving clip
constexpr int bandRadius = 8;  // pixels either side of the reference edge

struct Clip {
    fs::path file;
    std::vector<cv::Mat> alpha;  // per frame, CV_32F 0…1 at the frame's size
};

// The person at (x, y) over the background; its alpha at the frame's size.
void paste(const cv::Mat& background, const cv::Mat& person, const cv::Mat& mask, int x, int y,
           cv::Mat& frame, cv::Mat& alpha) {
    frame = background.clone();
    alpha = cv::Mat(height, width, CV_32F, cv::Scalar(0));
    const cv::Rect place = cv::Rect(x, y, person.cols, person.rows) & cv::Rect(0, 0, width, height);
    const cv::Rect inside(place.x - x, place.y - y, place.width, place.height);
    cv::Mat a;
    mask(inside).convertTo(a, CV_32F, 1 / 255.0);
    a.copyTo(alpha(place));
    cv::Mat fg, bg, a3;
    person(inside).convertTo(fg, CV_32FC3);
    frame(place).convertTo(bg, CV_32FC3);
    cv::merge(std::vector<cv::Mat>{a, a, a}, a3);
    cv::Mat mixed = fg.mul(a3) + bg.mul(cv::Scalar::all(1) - a3);
    mixed.convertTo(frame(place), CV_8UC3);
}

// Writes the frames as a lossless H.264 clip with the ffmpeg tool: 4:4:4, or 4:2:0 in BT.709.
bool writeClip(const std::vector<cv::Mat>& pictures, const fs::path& file, bool yuv420) {
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

Clip makeClip(const std::string& name, const cv::Mat& background, bool moving, bool yuv420) {
    const std::string people = PELLIQO_TEST_DATA "/people/";
    const cv::Mat person = cv::imread(people + name + ".png", cv::IMREAD_COLOR);
    const cv::Mat mask =
        cv::imread(people + name + ".reference-balanced.png", cv::IMREAD_GRAYSCALE);
    Clip clip{fs::temp_directory_path() /
                  ("pelliqo-quality-" + name + (moving ? "-moving" : "-still") + ".mp4"),
              {}};
    cv::RNG noise(moving ? 3 : 8);
    std::vector<cv::Mat> pictures;
    for (int i = 0; i < frames; ++i) {
        const int x = (width - person.cols) / 2 + (moving ? (i - frames / 2) * step : 0);
        cv::Mat frame, alpha;
        paste(background, person, mask, x, height - person.rows, frame, alpha);
        cv::Mat grain(frame.size(), CV_16SC3);
        noise.fill(grain, cv::RNG::NORMAL, 0, moving ? 3 : 8);
        cv::Mat noisy;
        cv::add(frame, grain, noisy, cv::noArray(), CV_8UC3);
        pictures.push_back(noisy);
        clip.alpha.push_back(alpha);
    }
    if (!writeClip(pictures, clip.file, yuv420)) clip.file.clear();
    return clip;
}

// The export with the mask view; the decoded masks, CV_32F 0…1.
std::vector<cv::Mat> exportedMasks(const fs::path& input, QualityChoice quality, bool smooth) {
    EffectSettings settings;
    settings.showMask = true;
    settings.edgeSoftness = 0;
    settings.quality = quality;
    settings.reduceFlicker = smooth;
    const fs::path output = fs::temp_directory_path() / "pelliqo-quality-out.mp4";
    std::vector<cv::Mat> masks;
    if (!exportMovie(input, output, settings)) return masks;
    auto reader = TrackReader::video(output, *MovieAsset::open(output).video);
    while (auto sample = reader.value()->nextVideo()) {
        cv::Mat grey;
        cv::cvtColor(matView(sample->frame), grey, cv::COLOR_BGRA2GRAY);
        grey.convertTo(grey, CV_32F, 1 / 255.0);
        masks.push_back(grey);
    }
    return masks;
}

cv::Mat edgeBand(const cv::Mat& alpha) {
    const cv::Mat inside = alpha > 0.5f;
    const cv::Mat disc = cv::getStructuringElement(
        cv::MORPH_ELLIPSE, cv::Size(2 * bandRadius + 1, 2 * bandRadius + 1));
    cv::Mat grown, shrunk;
    cv::dilate(inside, grown, disc);
    cv::erode(inside, shrunk, disc);
    return grown & ~shrunk;
}

struct Scores {
    double flicker = 0;  // mean |Δmask| in the edge band
    double trail = 0;    // mask left where the person was in the last three frames
    double error = 0;    // mean |mask − alpha|
    double dtSSD = 0;    // temporal-derivative error, × 100
};

Scores score(const std::vector<cv::Mat>& masks, const std::vector<cv::Mat>& alpha) {
    Scores s;
    const std::size_t n = std::min(masks.size(), alpha.size());
    int pairs = 0, trails = 0;
    for (std::size_t t = 0; t < n; ++t) {
        s.error += cv::mean(cv::abs(masks[t] - alpha[t]))[0];
        if (t == 0) continue;
        const cv::Mat band = edgeBand(alpha[t]);
        s.flicker += cv::mean(cv::abs(masks[t] - masks[t - 1]), band)[0];
        const cv::Mat dt = (masks[t] - masks[t - 1]) - (alpha[t] - alpha[t - 1]);
        s.dtSSD += std::sqrt(cv::mean(dt.mul(dt))[0]) * 100;
        ++pairs;
        if (t >= 3) {
            cv::Mat left = (alpha[t - 1] > 0.5f) | (alpha[t - 2] > 0.5f) | (alpha[t - 3] > 0.5f);
            left &= alpha[t] < 0.5f;
            if (cv::countNonZero(left) > 0) {
                s.trail += cv::mean(masks[t], left)[0];
                ++trails;
            }
        }
    }
    s.error /= std::max<double>(static_cast<double>(n), 1);
    s.flicker /= std::max(pairs, 1);
    s.dtSSD /= std::max(pairs, 1);
    s.trail /= std::max(trails, 1);
    return s;
}

}  // namespace
}  // namespace pelliqo

int main(int argc, char** argv) {
    using namespace pelliqo;
    prepareBenchApplication();
    std::vector<std::string> args(argv + 1, argv + argc);
    const bool smoothedOnly = !args.empty() && args.front() == "--smoothed-only";
    if (smoothedOnly) args.erase(args.begin());
    std::string onlyQuality;  // every quality when empty
    if (args.size() >= 2 && args.front() == "--quality") {
        onlyQuality = args[1];
        args.erase(args.begin(), args.begin() + 2);
    }
    const bool yuv420 = !args.empty() && args.front() == "--420";
    if (yuv420) args.erase(args.begin());
    const std::string backgroundPath =
        !args.empty() ? args.front() : "/usr/share/doc/opencv-doc/examples/data/building.jpg";
    cv::Mat background = cv::imread(backgroundPath, cv::IMREAD_COLOR);
    if (background.empty()) {
        std::fprintf(stderr, "No background picture at %s (apt install opencv-doc, or name one)\n",
                     backgroundPath.c_str());
        return 1;
    }
    cv::resize(background, background, cv::Size(width, height), 0, 0, cv::INTER_AREA);
    std::printf("%-13s %-13s %8s %8s %8s %8s\n", "quality", "photo", "flicker", "trail", "error",
                "dtSSD");
    const std::vector<std::string> photos{"astronaut", "camera", "grace_hopper"};
    std::vector<std::pair<Clip, Clip>> clips;  // still, moving
    for (const std::string& photo : photos) {
        clips.emplace_back(makeClip(photo, background, false, yuv420),
                           makeClip(photo, background, true, yuv420));
        if (clips.back().first.file.empty() || clips.back().second.file.empty()) return 1;
    }
    for (const auto& [quality, smooth] : {std::pair{QualityChoice::fast, true},
                                          {QualityChoice::balanced, true},
                                          {QualityChoice::accurate, true},
                                          {QualityChoice::fast, false},
                                          {QualityChoice::balanced, false},
                                          {QualityChoice::accurate, false}}) {
        if ((smoothedOnly && !smooth) || (!onlyQuality.empty() && onlyQuality != rawValue(quality)))
            continue;
        const std::string name = std::string(rawValue(quality)) + (smooth ? "" : " raw");
        Scores total{};
        for (std::size_t i = 0; i < photos.size(); ++i) {
            const auto& [still, moving] = clips[i];
            const Scores a = score(exportedMasks(still.file, quality, smooth), still.alpha);
            const Scores b = score(exportedMasks(moving.file, quality, smooth), moving.alpha);
            const Scores row{a.flicker * 255, b.trail * 255, (a.error + b.error) / 2 * 255,
                             (a.dtSSD + b.dtSSD) / 2};
            std::printf("%-13s %-13s %8.2f %8.2f %8.2f %8.2f\n", name.c_str(), photos[i].c_str(),
                        row.flicker, row.trail, row.error, row.dtSSD);
            total.flicker += row.flicker / 3;
            total.trail += row.trail / 3;
            total.error += row.error / 3;
            total.dtSSD += row.dtSSD / 3;
        }
        std::printf("%-13s %-13s %8.2f %8.2f %8.2f %8.2f\n", name.c_str(), "mean", total.flicker,
                    total.trail, total.error, total.dtSSD);
    }
    return 0;
}
