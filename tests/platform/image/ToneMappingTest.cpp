#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "platform/image/ToneMapping.h"

namespace pelliqo {
namespace {

// SMPTE ST 2084 the other way round: cd/m² to a 16-bit level.
double pqLevel(double nits) {
    const double m1 = 2610.0 / 16384, m2 = 2523.0 / 4096 * 128;
    const double c1 = 3424.0 / 4096, c2 = 2413.0 / 4096 * 32, c3 = 2392.0 / 4096 * 32;
    const double y = std::pow(nits / 10000, m1);
    return 65535 * std::pow((c1 + c2 * y) / (1 + c3 * y), m2);
}

int srgbByte(double light) {
    return static_cast<int>(std::lround(255 * (1.055 * std::pow(light, 1 / 2.4) - 0.055)));
}

// Each colour (16-bit levels, red first) as BGRA.
std::vector<cv::Vec4b> mapped(const ToneMapping& mapping, const std::vector<cv::Vec3d>& levels) {
    std::array<cv::Mat, 3> planes;
    for (int c = 0; c < 3; ++c) {
        planes[c].create(1, static_cast<int>(levels.size()), CV_16UC1);
        for (std::size_t i = 0; i < levels.size(); ++i)
            planes[c].at<std::uint16_t>(static_cast<int>(i)) =
                cv::saturate_cast<std::uint16_t>(levels[i][c]);
    }
    cv::Mat bgra;
    mapping.apply(planes, bgra);
    return {bgra.begin<cv::Vec4b>(), bgra.end<cv::Vec4b>()};
}

cv::Vec3d pqColour(double r, double g, double b) {
    return {pqLevel(r), pqLevel(g), pqLevel(b)};
}

TEST(ToneMapping, LightUpToWhiteKeepsItsBrightnessAndHighlightsRollOffBelowThePeak) {
    const ToneMapping pq(HdrTransfer::pq, false, 1000);
    const std::vector<double> nits{0, 20, 100, 203, 400, 1000, 4000};
    std::vector<cv::Vec3d> greys;
    for (const double n : nits) greys.push_back(pqColour(n, n, n));
    const auto out = mapped(pq, greys);
    for (std::size_t i = 0; i < out.size(); ++i) {
        SCOPED_TRACE(nits[i]);
        EXPECT_EQ(out[i][0], out[i][2]);  // grey stays grey
        EXPECT_EQ(out[i][1], out[i][2]);
        EXPECT_EQ(out[i][3], 255);
        if (i > 0 && nits[i] <= 1000) {
            EXPECT_GT(out[i][2], out[i - 1][2]);
        }
    }
    EXPECT_EQ(out[0][2], 0);
    EXPECT_NEAR(out[1][2], srgbByte(20.0 / 203), 1);
    EXPECT_NEAR(out[2][2], srgbByte(100.0 / 203), 1);
    EXPECT_LT(out[3][2], 250);  // room above reference white for what is brighter
    EXPECT_EQ(out[5][2], 255);
    EXPECT_EQ(out[6][2], 255);

    // A bright colour is dimmed as a whole: it keeps its hue rather than going white.
    const cv::Vec4b orange = mapped(pq, {pqColour(1000, 400, 100)})[0];
    EXPECT_EQ(orange[2], 255);
    EXPECT_LT(orange[1], 230);
    EXPECT_LT(orange[0], orange[1]);
}

TEST(ToneMapping, WideGamutColoursComeBackAsTheirOwnAndHlgGreysShowAsTheirPqLight) {
    // BT.709's red at 100 cd/m², as BT.2020's primaries hold it.
    const cv::Vec4b red = mapped(ToneMapping(HdrTransfer::pq, true, 1000),
                                 {pqColour(0.6274 * 100, 0.0691 * 100, 0.0164 * 100)})[0];
    EXPECT_NEAR(red[2], srgbByte(100.0 / 203), 2);
    EXPECT_LE(red[1], 2);
    EXPECT_LE(red[0], 2);

    // Reference white (75 %) and the grey card (38 %, 26 cd/m²), as a 1,000 cd/m² HLG display
    // shows them.
    const auto pq = mapped(ToneMapping(HdrTransfer::pq, false, 1000),
                           {pqColour(203, 203, 203), pqColour(26, 26, 26)});
    const auto hlg =
        mapped(ToneMapping(HdrTransfer::hlg, false, 1000),
               {cv::Vec3d::all(0.75 * 65535), cv::Vec3d::all(0.38 * 65535), cv::Vec3d::all(0)});
    EXPECT_NEAR(hlg[0][1], pq[0][1], 1);
    EXPECT_NEAR(hlg[1][1], pq[1][1], 1);
    EXPECT_EQ(hlg[2][1], 0);
}

}  // namespace
}  // namespace pelliqo
