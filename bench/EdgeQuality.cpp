// Edge quality of the mask through the real export: flicker where nothing moves, the trail a
// moving person leaves, the lag where one arrives, and the error against the known alpha.
// Run by hand:
//   ./build/bench/pelliqo_edge_quality [--smoothed-only] [--quality Q] [--subject] [--live]
//                                      [--420] [--agreement [--every K] [--clip NAME]]
//                                      [BACKGROUND.jpg]
// Each shared photo, its reference mask as alpha, is pasted over a background picture
// (opencv-doc's building.jpg unless one is given) and made into 720p clips of 30 frames, one
// for each scene of EdgeScenes.h: still (camera-like noise of σ = 8), walking (6 px a frame),
// panning (the camera), approaching (1 % larger a frame), behind (a still person before a
// moving background) and waving (an arm moving up to 16 px a frame); noise σ = 3 but for the
// still one. Every quality exports them with the mask view and no edge softness; the decoded
// masks are compared with the alpha that made the clip. "raw" rows are the same without
// "Reduce flicker"; --subject adds the subject mask's rows; --live adds the camera's road at
// accurate (its quick network sizes, straight from the decoded frames), and "carried" rows as on
// a machine that cannot keep up (every other mask carried along the motion).
// Columns, in grey levels of 255, means over the three photos: flicker is the mean change of the
// mask between frames in the band 8 px either side of the person's edge; trail is the mean mask on
// pixels the person left in the last three frames; lag is the mean of 1 − mask on pixels the person
// came to in the last three frames; error is the mean |mask − alpha|. dtSSD is the root mean square
// of the difference between the mask's and the alpha's change from frame to frame, × 100. The
// "summary" row is the older form of the table: flicker of the still scene, trail of the
// walking one, error and dtSSD of the two.
// Real footage (opencv-doc's vtest.avi and Megamind.avi, static cameras, their first 150
// frames): "unexplained" is the mean change of the mask, near its edge, on pixels where the
// picture itself did not change between frames (flicker that nothing in the scene explains).
// --agreement prints instead how far the subject mask made with the network on one frame in K
// (3, the export's, unless given) agrees with the one made on every frame, on every clip (or
// those whose name begins with NAME), and its cost; then the same on the steady frames alone,
// where the every-frame mask agrees to 0.95 or more with its own last mask carried along the
// picture's motion; on the made clips, last, how far each of the two agrees with the alpha that
// made the clip (p5); PELLIQO_AGREEMENT_FRAMES=1 adds each frame's figure.
// The clips are lossless 4:4:4, which exports read as BGRA; with --420 they are 4:2:0 in
// BT.709, as HD movies are, which exports keep in those colours (the mask found in a
// half-size picture).
#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>
#include <string>
#include <vector>

#include "BenchApplication.h"
#include "BenchExport.h"
#include "EdgeScenes.h"
#include "engine/FrameEffect.h"
#include "engine/MaskHistory.h"
#include "platform/image/MatView.h"
#include "platform/media/MovieAsset.h"
#include "platform/media/TrackReader.h"

namespace pelliqo {
namespace {

namespace fs = std::filesystem;
using bench::Clip;

constexpr int bandRadius = 8;  // pixels either side of the edge
const std::string footageFolder = "/usr/share/doc/opencv-doc/examples/data/";

// The frames of a movie as grey, CV_32F 0…1.
std::vector<cv::Mat> greyFrames(const fs::path& movie) {
    std::vector<cv::Mat> out;
    const MovieAsset asset = MovieAsset::open(movie);
    if (!asset.video) return out;
    auto reader = TrackReader::video(movie, *asset.video);
    if (!reader) return out;
    while (auto sample = reader.value()->nextVideo()) {
        cv::Mat grey;
        cv::cvtColor(matView(sample->frame), grey, cv::COLOR_BGRA2GRAY);
        grey.convertTo(grey, CV_32F, 1 / 255.0);
        out.push_back(grey);
    }
    return out;
}

struct Engine {
    QualityChoice quality;
    bool smooth;
    bool subject;
    bool live = false;
    bool carry = false;
    std::string name() const {
        return std::string(subject ? "subject" : rawValue(quality)) + (live ? " live" : "") +
               (carry ? " carried" : "") + (smooth ? "" : " raw");
    }
};

// The masks of the camera's road: each frame of the clip through a live effect; with carry,
// as when the network cannot keep up, every other one with its mask carried along the motion.
std::vector<cv::Mat> liveMasks(const fs::path& input, const EffectSettings& settings, bool carry) {
    std::vector<cv::Mat> out;
    auto reader = TrackReader::video(input, *MovieAsset::open(input).video);
    if (!reader) return out;
    FrameEffect effect(FrameEffect::Frames::live);
    for (int i = 0; auto sample = reader.value()->nextVideo(); ++i) {
        auto mask = carry && i % 2 ? effect.carriedMask(sample->frame, settings) : std::nullopt;
        if (!mask) mask = effect.neededMask(sample->frame, settings);
        const auto shown = effect.composed(sample->frame, mask, settings);
        if (!shown || !shown->isGrey()) return {};
        out.push_back(shown->pixels().clone());
    }
    return out;
}

// The export with the mask view (or the live road); the decoded masks.
std::vector<cv::Mat> exportedMasks(const fs::path& input, const Engine& engine) {
    EffectSettings settings;
    settings.showMask = true;
    settings.edgeSoftness = 0;
    settings.quality = engine.quality;
    settings.reduceFlicker = engine.smooth;
    settings.useSubjectMask = engine.subject;
    if (engine.live) return liveMasks(input, settings, engine.carry);
    const fs::path output = bench::workFolder() / ("out-" + std::to_string(getpid()) + ".mp4");
    if (!exportMovie(input, output, settings)) return {};
    return greyFrames(output);
}

// The band either side of the edge of what is set in inside.
cv::Mat bandAround(const cv::Mat& inside) {
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
    double lag = 0;      // mask missing where the person came in the last three frames
    double error = 0;    // mean |mask − alpha|
    double dtSSD = 0;    // temporal-derivative error, × 100

    Scores& operator+=(const Scores& o) {
        flicker += o.flicker;
        trail += o.trail;
        lag += o.lag;
        error += o.error;
        dtSSD += o.dtSSD;
        return *this;
    }
    Scores scaledBy(double f) const {
        return {flicker * f, trail * f, lag * f, error * f, dtSSD * f};
    }
};

// The mean of values over where, accumulated with its count when where is not empty.
void addMean(const cv::Mat& values, const cv::Mat& where, double& sum, int& count) {
    if (cv::countNonZero(where) == 0) return;
    sum += cv::mean(values, where)[0];
    ++count;
}

Scores score(const std::vector<cv::Mat>& masks, const std::vector<cv::Mat>& alpha) {
    Scores s;
    const std::size_t n = std::min(masks.size(), alpha.size());
    int pairs = 0, trails = 0, lags = 0;
    for (std::size_t t = 0; t < n; ++t) {
        s.error += cv::mean(cv::abs(masks[t] - alpha[t]))[0];
        if (t == 0) continue;
        s.flicker += cv::mean(cv::abs(masks[t] - masks[t - 1]), bandAround(alpha[t] > 0.5f))[0];
        const cv::Mat dt = (masks[t] - masks[t - 1]) - (alpha[t] - alpha[t - 1]);
        s.dtSSD += std::sqrt(cv::mean(dt.mul(dt))[0]) * 100;
        ++pairs;
        if (t < 3) continue;
        const cv::Mat in = alpha[t] > 0.5f;
        const cv::Mat wasIn = (alpha[t - 1] > 0.5f) | (alpha[t - 2] > 0.5f) | (alpha[t - 3] > 0.5f);
        const cv::Mat wasOut =
            (alpha[t - 1] < 0.5f) | (alpha[t - 2] < 0.5f) | (alpha[t - 3] < 0.5f);
        addMean(masks[t], wasIn & ~in, s.trail, trails);
        addMean(1 - masks[t], in & wasOut, s.lag, lags);
    }
    s.error /= std::max<double>(static_cast<double>(n), 1);
    s.flicker /= std::max(pairs, 1);
    s.dtSSD /= std::max(pairs, 1);
    s.trail /= std::max(trails, 1);
    s.lag /= std::max(lags, 1);
    return s;
}

// The mean change of the mask near its edge where the picture did not change (by at most
// 2 grey levels, on a 5 × 5 average that takes out compression noise), in grey levels.
double unexplainedFlicker(const std::vector<cv::Mat>& masks, const std::vector<cv::Mat>& pictures) {
    double sum = 0;
    int count = 0;
    cv::Mat before;
    for (std::size_t t = 0; t < std::min(masks.size(), pictures.size()); ++t) {
        cv::Mat now;
        cv::blur(pictures[t], now, cv::Size(5, 5));
        if (t > 0) {
            const cv::Mat unchanged = cv::abs(now - before) <= 2 / 255.0;
            const cv::Mat near = bandAround((masks[t] > 0.5f) | (masks[t - 1] > 0.5f));
            addMean(cv::abs(masks[t] - masks[t - 1]), unchanged & near, sum, count);
        }
        before = now;
    }
    return sum / std::max(count, 1) * 255;
}

// The first 150 frames of a piece of opencv-doc's footage, as a lossless clip.
fs::path footageClip(const std::string& name, bool yuv420) {
    const fs::path clip = bench::workFolder() / (name + ".mp4");
    const std::string layout = yuv420 ? "-vf scale=out_color_matrix=bt709:out_range=tv "
                                        "-colorspace bt709 -color_primaries bt709 "
                                        "-color_trc bt709 -pix_fmt yuv420p"
                                      : "-pix_fmt yuv444p";
    const std::string command = "ffmpeg -v error -nostdin -y -i '" + footageFolder + name +
                                ".avi' -frames:v 150 -an -c:v libx264 -qp 0 " + layout + " '" +
                                clip.string() + "'";
    if (!bench::mustWrite(clip)) return clip;
    return std::system(command.c_str()) == 0 ? clip : fs::path();
}

// The subject masks of a movie's frames through a segmenter that runs the subject network on
// one frame in `every`, the seconds that took, and each frame in grey at its mask's size.
struct SubjectMasks {
    std::vector<cv::Mat> masks;
    double seconds = 0;
    std::vector<cv::Mat> pictures;
};
SubjectMasks subjectMasks(const fs::path& movie, int every) {
    SubjectMasks out;
    auto reader = TrackReader::video(movie, *MovieAsset::open(movie).video);
    if (!reader) return {};
    EffectSettings settings;
    settings.useSubjectMask = true;
    Segmenter segmenter;
    segmenter.setSubjectKeyFrames(every);
    while (auto sample = reader.value()->nextVideo()) {
        const auto start = std::chrono::steady_clock::now();
        const auto mask = segmenter.mask(sample->frame, settings, true);
        out.seconds +=
            std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        out.masks.push_back(mask ? mask->pixels().clone() : cv::Mat());
        cv::Mat grey, small;
        cv::cvtColor(matView(sample->frame), grey, cv::COLOR_BGRA2GRAY);
        if (mask) cv::resize(grey, small, out.masks.back().size(), 0, 0, cv::INTER_AREA);
        out.pictures.push_back(small);
    }
    return out;
}

// The mask of the frame before carried along the picture's motion to this frame (both masks
// 0…1): what the mask would be if only the picture had moved.
cv::Mat movedOn(const cv::Mat& before, const cv::Mat& pictureBefore, const cv::Mat& picture) {
    cv::Mat bytes;
    before.convertTo(bytes, CV_8U, 255);
    MaskHistory history;
    history.restart(bytes, pictureBefore);
    const auto carried = history.carriedMasksTo(picture, 1.0);
    if (!carried) return before;
    cv::Mat moved;
    carried->mask.convertTo(moved, CV_32F, 1 / 255.0);
    return moved;
}

// The intersection over union of two masks (0…1) at one half; where one found no subject its
// mask is the person engine's, at another size.
double iou(const cv::Mat& reference, const cv::Mat& mask) {
    cv::Mat other;
    cv::resize(mask, other, reference.size(), 0, 0, cv::INTER_LINEAR);
    const cv::Mat a = reference >= 0.5f, b = other >= 0.5f;
    const int together = cv::countNonZero(a | b);
    return together ? cv::countNonZero(a & b) / static_cast<double>(together) : 1.0;
}

// The mean and the 5th percentile.
std::pair<double, double> meanAndP5(std::vector<double> values) {
    if (values.empty()) return {0, 0};
    std::sort(values.begin(), values.end());
    double sum = 0;
    for (const double v : values) sum += v;
    return {sum / static_cast<double>(values.size()), values[values.size() / 20]};
}

// Agreement of the subject mask made on key frames with the one made on every frame: the
// intersection over union at one half per frame (mean, and the 5th percentile over frames) and
// the share of the time it took; then, for scale, the every-frame mask's agreement with itself
// one frame before; last, the agreement on the steady frames alone: those where the every-frame
// mask agrees to 0.95 or more with its own mask of the frame before carried along the motion, so
// that a waver of the network is not counted against the carried mask, but motion is. Where the
// clip's true alpha is known, each mask's agreement with it too (p5): carrying costs nothing where
// the two are alike. Adds the frames' figures to `pooled`.
struct Pooled {
    std::vector<double> ious, steady, truthEvery, truthKeyed;
};
void printAgreement(const std::string& name, const fs::path& movie, int every,
                    const std::vector<cv::Mat>& alpha, Pooled& pooled) {
    const SubjectMasks reference = subjectMasks(movie, 1);
    const SubjectMasks keyed = subjectMasks(movie, every);
    const std::vector<cv::Mat>& masks = reference.masks;
    std::vector<double> ious, self, steady, truthEvery, truthKeyed;
    for (std::size_t t = 0; t < std::min(masks.size(), keyed.masks.size()); ++t) {
        if (masks[t].empty() || keyed.masks[t].empty()) continue;
        ious.push_back(iou(masks[t], keyed.masks[t]));
        if (t < alpha.size()) {
            truthEvery.push_back(iou(alpha[t], masks[t]));
            truthKeyed.push_back(iou(alpha[t], keyed.masks[t]));
        }
        if (t == 0 || masks[t - 1].empty()) continue;
        self.push_back(iou(masks[t], masks[t - 1]));
        // A frame whose subject mask found nothing has the person mask, at another size.
        if (masks[t - 1].size() != masks[t].size()) continue;
        const cv::Mat moved =
            movedOn(masks[t - 1], reference.pictures[t - 1], reference.pictures[t]);
        if (iou(masks[t], moved) >= 0.95) steady.push_back(ious.back());
    }
    if (std::getenv("PELLIQO_AGREEMENT_FRAMES"))
        for (std::size_t t = 0; t < ious.size(); ++t) std::printf("  %zu %.3f\n", t, ious[t]);
    const auto pool = [](std::vector<double>& to, const std::vector<double>& from) {
        to.insert(to.end(), from.begin(), from.end());
    };
    pool(pooled.ious, ious);
    pool(pooled.steady, steady);
    pool(pooled.truthEvery, truthEvery);
    pool(pooled.truthKeyed, truthKeyed);
    const auto [mean, p5] = meanAndP5(ious);
    const auto [selfMean, selfP5] = meanAndP5(self);
    const auto [steadyMean, steadyP5] = meanAndP5(steady);
    std::printf("%-24s %8.3f %8.3f %8.2f %8.3f %8.3f %8.3f %8.3f %6zu", name.c_str(), mean, p5,
                keyed.seconds / std::max(reference.seconds, 1e-9), selfMean, selfP5, steadyMean,
                steadyP5, steady.size());
    if (!truthEvery.empty())
        std::printf(" %8.3f %8.3f", meanAndP5(truthEvery).second, meanAndP5(truthKeyed).second);
    std::printf("\n");
    std::fflush(stdout);
}

void printRow(const std::string& engine, const std::string& scene, const Scores& s) {
    std::printf("%-22s %-12s %8.2f %8.2f %8.2f %8.2f %8.2f\n", engine.c_str(), scene.c_str(),
                s.flicker, s.trail, s.lag, s.error, s.dtSSD);
}

}  // namespace
}  // namespace pelliqo

int main(int argc, char** argv) {
    using namespace pelliqo;
    prepareBenchApplication();
    std::vector<std::string> args(argv + 1, argv + argc);
    const auto flag = [&](const std::string& name) {
        const auto at = std::find(args.begin(), args.end(), name);
        if (at == args.end()) return false;
        args.erase(at);
        return true;
    };
    const bool smoothedOnly = flag("--smoothed-only");
    const bool withSubject = flag("--subject");
    const bool withLive = flag("--live");
    const bool yuv420 = flag("--420");
    const bool agreement = flag("--agreement");
    int every = 3;
    if (const auto at = std::find(args.begin(), args.end(), "--every");
        at != args.end() && at + 1 != args.end()) {
        every = std::stoi(*(at + 1));
        args.erase(at, at + 2);
    }
    std::string onlyClip;  // with --agreement, the clips whose name begins so
    if (const auto at = std::find(args.begin(), args.end(), "--clip");
        at != args.end() && at + 1 != args.end()) {
        onlyClip = *(at + 1);
        args.erase(at, at + 2);
    }
    const auto wanted = [&](const std::string& name) { return name.starts_with(onlyClip); };
    std::string onlyQuality;  // every quality when empty
    if (const auto at = std::find(args.begin(), args.end(), "--quality");
        at != args.end() && at + 1 != args.end()) {
        onlyQuality = *(at + 1);
        args.erase(at, at + 2);
    }
    const std::string backgroundPath =
        !args.empty() ? args.front() : footageFolder + "building.jpg";
    const cv::Mat background = cv::imread(backgroundPath, cv::IMREAD_COLOR);
    if (background.empty()) {
        std::fprintf(stderr, "No background picture at %s (apt install opencv-doc, or name one)\n",
                     backgroundPath.c_str());
        return 1;
    }
    const std::vector<std::string> photos{"astronaut", "camera", "grace_hopper"};
    std::vector<std::vector<Clip>> clips;  // by scene, then photo
    for (const bench::Scene& scene : bench::scenes) {
        clips.emplace_back();
        for (const std::string& photo : photos) {
            clips.back().push_back(bench::makeClip(photo, scene, background, yuv420));
            if (clips.back().back().file.empty()) return 1;
        }
    }
    const std::vector<std::string> footage{"vtest", "Megamind"};
    std::vector<std::pair<fs::path, std::vector<cv::Mat>>> footageClips;
    for (const std::string& name : footage) {
        const fs::path clip = footageClip(name, yuv420);
        if (clip.empty()) return 1;
        footageClips.emplace_back(clip, greyFrames(clip));
    }

    if (agreement) {
        std::printf(
            "%-24s %8s %8s %8s %8s %8s %8s %8s %6s %8s %8s   (subject mask every %d frames against "
            "every frame; self: every frame against the one before; steady: the frames where every "
            "frame agrees with the one before carried along the motion to 0.95 or more; truth: p5 "
            "against the clip's alpha, every frame and keyed)\n",
            "clip", "IoU", "p5", "time", "self", "p5", "steady", "p5", "frames", "truth", "keyed",
            every);
        Pooled pooled;
        for (std::size_t k = 0; k < bench::scenes.size(); ++k)
            for (std::size_t p = 0; p < photos.size(); ++p) {
                const std::string name = std::string(bench::scenes[k].name) + " " + photos[p];
                if (wanted(name))
                    printAgreement(name, clips[k][p].file, every, clips[k][p].alpha, pooled);
            }
        for (std::size_t f = 0; f < footage.size(); ++f)
            if (wanted(footage[f]))
                printAgreement(footage[f], footageClips[f].first, every, {}, pooled);
        const auto [mean, p5] = meanAndP5(pooled.ious);
        const auto [steadyMean, steadyP5] = meanAndP5(pooled.steady);
        std::printf("%-24s %8.3f %8.3f %44.3f %8.3f %6zu %8.3f %8.3f\n", "all frames", mean, p5,
                    steadyMean, steadyP5, pooled.steady.size(), meanAndP5(pooled.truthEvery).second,
                    meanAndP5(pooled.truthKeyed).second);
        return 0;
    }
    std::vector<Engine> engines;
    for (const bool smooth : {true, false}) {
        if (smoothedOnly && !smooth) continue;
        for (const auto quality :
             {QualityChoice::fast, QualityChoice::balanced, QualityChoice::accurate}) {
            if (onlyQuality.empty() || onlyQuality == rawValue(quality))
                engines.push_back({quality, smooth, false});
        }
        if (withSubject) engines.push_back({QualityChoice::accurate, smooth, true});
        if (withLive) {
            engines.push_back({QualityChoice::accurate, smooth, false, true, false});
            if (smooth) engines.push_back({QualityChoice::accurate, smooth, false, true, true});
        }
    }
    std::printf("%-22s %-12s %8s %8s %8s %8s %8s\n", "engine", "scene", "flicker", "trail", "lag",
                "error", "dtSSD");
    std::vector<std::string> footageRows;
    for (const Engine& engine : engines) {
        std::vector<Scores> byScene;
        for (std::size_t k = 0; k < bench::scenes.size(); ++k) {
            Scores mean;
            for (const Clip& clip : clips[k])
                mean += score(exportedMasks(clip.file, engine), clip.alpha).scaledBy(255.0 / 3);
            mean.dtSSD /= 255;  // already × 100
            byScene.push_back(mean);
            printRow(engine.name(), bench::scenes[k].name, mean);
        }
        const Scores summary{byScene[0].flicker, byScene[1].trail, byScene[1].lag,
                             (byScene[0].error + byScene[1].error) / 2,
                             (byScene[0].dtSSD + byScene[1].dtSSD) / 2};
        printRow(engine.name(), "summary", summary);
        std::string row = engine.name();
        row.resize(23, ' ');
        for (const auto& [clip, pictures] : footageClips) {
            char figure[16];
            std::snprintf(figure, sizeof figure, " %10.2f",
                          unexplainedFlicker(exportedMasks(clip, engine), pictures));
            row += figure;
        }
        footageRows.push_back(row);
        std::fflush(stdout);
    }
    std::printf("\n%-23s %10s %10s   (unexplained flicker, real footage)\n", "engine", "vtest",
                "Megamind");
    for (const std::string& row : footageRows) std::printf("%s\n", row.c_str());
    if (!bench::keptClips()) fs::remove_all(bench::workFolder());
    return 0;
}
