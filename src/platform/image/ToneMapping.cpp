#include "platform/image/ToneMapping.h"

#include <algorithm>
#include <cmath>

namespace pelliqo {

namespace {

constexpr int levels = 4096;
constexpr double referenceWhiteNits = 203;
// Below this light (white = 1) the picture is kept as it is; above it, light up to the peak
// is rolled off into the rest, so highlights keep some detail rather than clip. A picture
// no brighter than white is kept whole (the curve is then straight).
constexpr float rollOffFrom = 0.8f;

// SMPTE ST 2084: a level (0…1) to cd/m².
double pqNits(double level) {
    const double m1 = 2610.0 / 16384, m2 = 2523.0 / 4096 * 128;
    const double c1 = 3424.0 / 4096, c2 = 2413.0 / 4096 * 32, c3 = 2392.0 / 4096 * 32;
    const double p = std::pow(level, 1 / m2);
    return 10000 * std::pow(std::max(p - c1, 0.0) / (c2 - c3 * p), 1 / m1);
}

// ARIB STD-B67: a level (0…1) to the light of the scene (0…1).
double hlgScene(double level) {
    const double a = 0.17883277, b = 1 - 4 * a, c = 0.5 - a * std::log(4 * a);
    return level <= 0.5 ? level * level / 3 : (std::exp((level - c) / a) + b) / 12;
}

// The scene's light as a 1,000 cd/m² display shows it (the system gamma taken per colour),
// relative to the peak.
double hlgDisplayed(double level) {
    return std::pow(hlgScene(level), 1.2);
}

double srgbEncoded(double light) {
    return light <= 0.0031308 ? 12.92 * light : 1.055 * std::pow(light, 1 / 2.4) - 0.055;
}

}  // namespace

ToneMapping::ToneMapping(HdrTransfer transfer, bool wideGamut, double peakNits)
    : light_(levels), encoded_(levels) {
    const double hlgWhite = hlgDisplayed(0.75);
    for (int i = 0; i < levels; ++i) {
        const double step = static_cast<double>(i) / (levels - 1);
        light_[i] =
            static_cast<float>(transfer == HdrTransfer::pq ? pqNits(step) / referenceWhiteNits
                                                           : hlgDisplayed(step) / hlgWhite);
        // Stepped by the light's root, for fine steps in the shadows.
        encoded_[i] = static_cast<std::uint8_t>(std::lround(255 * srgbEncoded(step * step)));
    }
    // BT.2020 to BT.709 primaries, on light (ITU-R BT.2087).
    gamut_ = wideGamut ? cv::Matx33f(1.6605f, -0.5876f, -0.0728f, -0.1246f, 1.1329f, -0.0083f,
                                     -0.0182f, -0.1006f, 1.1187f)
                       : cv::Matx33f::eye();
    const double peak = transfer == HdrTransfer::pq ? peakNits / referenceWhiteNits : 1 / hlgWhite;
    peak_ = static_cast<float>(std::clamp(peak, 1.0, 10000 / referenceWhiteNits));
}

namespace {

// Light to output steps: to BT.709's primaries, Reinhard's curve on the light above the knee
// (as steep as the picture at the knee, white at the peak) applied to each colour alike, then
// the root. Written to be vectorized.
void rolledOffRow(float* __restrict r, float* __restrict g, float* __restrict b, int width,
                  const cv::Matx33f& m, float peak) {
    const float knee = rollOffFrom, room = 1 - knee, w = (peak - knee) / room;
    const float inverseW2 = 1 / (w * w), inverseRoom = 1 / room, last = levels - 1;
    const auto step = [last](float light) {
        return std::sqrt(std::min(std::max(light, 0.0f), 1.0f)) * last + 0.5f;
    };
    const float* c = m.val;  // row by row; read through the matrix, the loop would not vectorize
    for (int x = 0; x < width; ++x) {
        const float cr = c[0] * r[x] + c[1] * g[x] + c[2] * b[x];
        const float cg = c[3] * r[x] + c[4] * g[x] + c[5] * b[x];
        const float cb = c[6] * r[x] + c[7] * g[x] + c[8] * b[x];
        const float brightest = std::max(std::max(cr, cg), cb);
        // knee + room · a (1 + a / w²) / (1 + a), over the light, in one division: 1 up to the
        // knee, where a is 0.
        const float a = std::max(brightest - knee, 0.0f) * inverseRoom;
        const float scale = (knee * (1 + a) + room * a * (1 + a * inverseW2)) /
                            ((1 + a) * std::max(brightest, knee));
        r[x] = step(cr * scale);
        g[x] = step(cg * scale);
        b[x] = step(cb * scale);
    }
}

}  // namespace

void ToneMapping::applyRow(const std::array<const std::uint16_t*, 3>& rgb, cv::Vec4b* out,
                           int width, std::vector<float>& scratch) const {
    scratch.resize(3 * static_cast<std::size_t>(width));
    float* r = scratch.data();
    float* g = r + width;
    float* b = g + width;
    for (int x = 0; x < width; ++x) {
        r[x] = light_[rgb[0][x] >> 4];
        g[x] = light_[rgb[1][x] >> 4];
        b[x] = light_[rgb[2][x] >> 4];
    }
    rolledOffRow(r, g, b, width, gamut_, peak_);
    for (int x = 0; x < width; ++x) {
        out[x] = {encoded_[static_cast<int>(b[x])], encoded_[static_cast<int>(g[x])],
                  encoded_[static_cast<int>(r[x])], 255};
    }
}

void ToneMapping::apply(const std::array<cv::Mat, 3>& rgb, cv::Mat& bgra) const {
    for (const cv::Mat& plane : rgb)
        CV_Assert(plane.type() == CV_16UC1 && plane.size() == rgb[0].size());
    bgra.create(rgb[0].size(), CV_8UC4);
    cv::parallel_for_(cv::Range(0, bgra.rows), [&](const cv::Range& rows) {
        std::vector<float> scratch;
        for (int y = rows.start; y < rows.end; ++y) {
            applyRow({rgb[0].ptr<std::uint16_t>(y), rgb[1].ptr<std::uint16_t>(y),
                      rgb[2].ptr<std::uint16_t>(y)},
                     bgra.ptr<cv::Vec4b>(y), bgra.cols, scratch);
        }
    });
}

}  // namespace pelliqo
