#include <gtest/gtest.h>

#include <QTemporaryDir>
#include <fstream>
#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>

#include "Settings.h"
#include "engine/Compositor.h"
#include "platform/image/MatView.h"
#include "platform/image/Rendering.h"

namespace pelliqo {
namespace {

Image frameOf(int w, int h, cv::Vec4b bgra = {200, 100, 50, 255}) {
    return Image::fromPixels(
        cv::Mat(h, w, CV_8UC4, cv::Scalar(bgra[0], bgra[1], bgra[2], bgra[3])));
}

Image maskOf(int w, int h, float value) {
    return Image::fromPixels(cv::Mat(h, w, CV_32F, cv::Scalar(value)));
}

cv::Vec4b at(const Image& image, int x, int y) {
    return image.pixels().at<cv::Vec4b>(y, x);
}

TEST(Compositor, WhiteKeepsTheFrameAndBlackGivesTheBackgroundOrTransparency) {
    Compositor compositor;
    const Image frame = frameOf(8, 6);
    EffectSettings colour = test::settingsWith(BackgroundKind::color);
    colour.setColor(Color{1, 0, 0, 1});
    EXPECT_EQ(at(compositor.compose(frame, maskOf(4, 3, 1), colour), 5, 5),
              cv::Vec4b(200, 100, 50, 255));
    const Image black = compositor.compose(frame, maskOf(4, 3, 0), colour);
    EXPECT_EQ(black.extent(), (Rect{0, 0, 8, 6}));
    for (int y = 0; y < 6; ++y) {
        for (int x = 0; x < 8; ++x) EXPECT_EQ(at(black, x, y), cv::Vec4b(0, 0, 255, 255));
    }
    const Image blur =
        compositor.compose(frame, maskOf(4, 3, 0), test::settingsWith(BackgroundKind::blur));
    EXPECT_EQ(at(blur, 3, 3), cv::Vec4b(200, 100, 50, 255));  // a uniform frame blurs to itself

    // Transparent: zero alpha where the mask is black.
    cv::Mat half(3, 4, CV_32F, cv::Scalar(0));
    half.colRange(2, 4).setTo(1);
    EffectSettings s = test::settingsWith(BackgroundKind::transparent);
    s.edgeSoftness = 0;
    const Image out = compositor.compose(frameOf(8, 6), Image::fromPixels(half), s);
    EXPECT_EQ(at(out, 0, 2), cv::Vec4b(0, 0, 0, 0));
    EXPECT_EQ(at(out, 7, 2), cv::Vec4b(200, 100, 50, 255));
    const int edgeAlpha = at(out, 4, 2)[3];
    EXPECT_GT(edgeAlpha, 0);
    EXPECT_LT(edgeAlpha, 255);
}

TEST(Compositor, ShowMaskGivesTheMaskRefinedAndShifted) {
    Compositor compositor;
    EffectSettings s = test::settingsWith(BackgroundKind::none);
    s.showMask = true;
    const Image shown = compositor.compose(frameOf(8, 6), maskOf(4, 3, 0.6f), s);
    ASSERT_TRUE(shown.isGrey());
    EXPECT_EQ(shown.extent(), (Rect{0, 0, 8, 6}));
    // The edge's contrast is raised: a value above one half shows brighter, never white.
    EXPECT_GT(shown.pixels().at<float>(3, 3), 0.6f);
    EXPECT_LT(shown.pixels().at<float>(3, 3), 1.0f);
    // Without a mask there is nothing to show: the frame comes back.
    EXPECT_EQ(at(compositor.compose(frameOf(8, 6), std::nullopt, s), 0, 0),
              cv::Vec4b(200, 100, 50, 255));

    // The edge shift grows and shrinks the person at the mask's resolution.
    cv::Mat dot(9, 9, CV_32F, cv::Scalar(0));
    dot.at<float>(4, 4) = 1;
    s.edgeSoftness = 0;
    s.edgeShift = 2;
    const Image grown = compositor.compose(frameOf(9, 9), Image::fromPixels(dot), s);
    EXPECT_EQ(grown.pixels().at<float>(4, 5), 1.0f);
    EXPECT_EQ(grown.pixels().at<float>(5, 5), 0.0f);  // a round kernel: no corners
    s.edgeShift = -2;
    EXPECT_EQ(
        cv::countNonZero(compositor.compose(frameOf(9, 9), Image::fromPixels(dot), s).pixels()), 0);
}

TEST(Compositor, FitLeavesBlackBarsAndFillCovers) {
    QTemporaryDir dir;
    const std::string path = dir.filePath("wide.png").toStdString();
    cv::imwrite(path, cv::Mat(2, 4, CV_8UC3, cv::Scalar(0, 0, 255)));  // red, 4 × 2
    Compositor compositor;
    EffectSettings s = test::settingsWith(BackgroundKind::picture);
    s.picturePath = path;
    s.pictureFit = PictureFit::fit;  // scale 2: 8 × 4, bars of 2 rows above and below
    const Image fit = compositor.compose(frameOf(8, 8), maskOf(4, 4, 0), s);
    for (int y = 0; y < 8; ++y)
        EXPECT_EQ(at(fit, 0, y), cv::Vec4b(0, 0, y < 2 || y >= 6 ? 0 : 255, 255)) << y;
    s.pictureFit = PictureFit::fill;
    const Image fill = compositor.compose(frameOf(8, 8), maskOf(4, 4, 0), s);
    EXPECT_EQ(at(fill, 0, 0), cv::Vec4b(0, 0, 255, 255));
    EXPECT_EQ(at(fill, 7, 7), cv::Vec4b(0, 0, 255, 255));
}

TEST(Compositor, MissingOrUnreadablePicturesGiveBlack) {
    QTemporaryDir dir;
    const std::string empty = dir.filePath("empty.png").toStdString();
    std::ofstream(empty).close();
    const std::string text = dir.filePath("notes.jpg").toStdString();
    std::ofstream(text) << "not a picture";
    Compositor compositor;
    for (const std::string& path : {std::string(), dir.filePath("missing.png").toStdString(), empty,
                                    text, dir.path().toStdString()}) {
        EffectSettings s = test::settingsWith(BackgroundKind::picture);
        s.picturePath = path;
        EXPECT_EQ(at(compositor.compose(frameOf(4, 4), maskOf(4, 4, 0), s), 1, 1),
                  cv::Vec4b(0, 0, 0, 255))
            << path;
    }
}

TEST(Compositor, PreviewsAreNeverWiderThanAskedAndNeverEnlarged) {
    Compositor compositor;
    EXPECT_EQ(compositor.makeCGImage(frameOf(640, 360).translated(3, 3), 960)->width(), 640);
    EXPECT_FALSE(compositor.makeCGImage(Image::color(1, 1, 1), 960));

    for (const int width : {1280, 4000}) {
        cv::Mat halves(8, width, CV_8UC4, cv::Scalar(200, 100, 50, 255));
        halves.colRange(width / 2, width).setTo(cv::Scalar(0, 0, 255, 255));
        const auto preview = compositor.makeCGImage(Image::fromPixels(halves), 960);
        ASSERT_TRUE(preview);
        ASSERT_EQ(preview->width(), 960);
        const cv::Mat bgra = matView(preview->pixels());
        EXPECT_EQ(bgra.at<cv::Vec4b>(1, 10), (cv::Vec4b{200, 100, 50, 255})) << width;
        EXPECT_EQ(bgra.at<cv::Vec4b>(1, 950), (cv::Vec4b{0, 0, 255, 255})) << width;
    }
}

TEST(Compositor, HostileNumbersTinyFramesAndMismatchedMasksStillGiveTheFrame) {
    Compositor compositor;
    EffectSettings s = test::settingsWith(BackgroundKind::blur);
    for (const double huge : {1e308, -1e308}) {
        s.blurStrength = std::abs(huge);
        s.edgeSoftness = std::abs(huge);
        s.edgeShift = huge;
        EXPECT_EQ(at(compositor.compose(frameOf(64, 48), maskOf(32, 24, 0.7f), s), 10, 10),
                  cv::Vec4b(200, 100, 50, 255));
    }
    s.edgeShift = 3;
    s.edgeSoftness = 4;
    for (auto [fw, fh, mw, mh] :
         {std::array{1, 1, 256, 144}, {2, 2, 1, 1}, {1920, 1080, 1, 1}, {3, 1000, 256, 256}}) {
        for (BackgroundKind kind : allCases<BackgroundKind>()) {
            s.kind = kind;
            const Image out = compositor.compose(frameOf(fw, fh), maskOf(mw, mh, 0.7f), s);
            EXPECT_EQ(out.extent(), (Rect{0, 0, static_cast<double>(fw), static_cast<double>(fh)}));
        }
    }
}

Yuv420Frame yuvOf(const Image& picture) {
    const cv::Rect area = pixelArea(picture.extent());
    auto frame = Yuv420Frame::make(area.width, area.height).value();
    auto buffer = PixelBuffer::make(area.width, area.height, PixelFormat::bgra8).value();
    EXPECT_TRUE(renderInto(picture, buffer));
    EXPECT_TRUE(convertToYuv420(buffer, frame.planes()));
    return frame;
}

// All but a few edge pixels within a couple of levels: the edge is fitted to luma rather than
// BGR grey, and chroma is blended through the mask at half size.
TEST(Compositor, FourTwoZeroFramesGetThePictureTheirBgraFramesGet) {
    const std::string people = PELLIQO_TEST_DATA "/people/grace_hopper";
    cv::Mat photo, frame;
    cv::cvtColor(cv::imread(people + ".png"), photo, cv::COLOR_BGR2BGRA);
    cv::resize(photo, frame, {128, 150}, 0, 0, cv::INTER_AREA);
    cv::Mat mask;
    cv::resize(cv::imread(people + ".reference-fast.png", cv::IMREAD_GRAYSCALE), mask, {32, 38}, 0,
               0, cv::INTER_AREA);
    mask.convertTo(mask, CV_32F, 1.0 / 255);
    QTemporaryDir dir;
    const std::string picture = dir.filePath("sky.png").toStdString();
    cv::Mat sky(30, 40, CV_8UC3);
    for (int y = 0; y < sky.rows; ++y) sky.row(y).setTo(cv::Scalar(250, 6 * y, 60));
    cv::imwrite(picture, sky);

    const Yuv420Frame yuv = yuvOf(Image::fromPixels(frame));
    EffectSettings shown = test::settingsWith(BackgroundKind::blur);
    shown.showMask = true;
    for (EffectSettings s :
         {test::settingsWith(BackgroundKind::blur), test::settingsWith(BackgroundKind::color),
          test::settingsWith(BackgroundKind::picture), shown}) {
        SCOPED_TRACE(static_cast<int>(s.kind) + 10 * s.showMask);
        s.picturePath = picture;
        Compositor compositor;
        const Yuv420Frame expected =
            yuvOf(compositor.compose(Image::fromPixels(frame), Image::fromPixels(mask), s));
        const Yuv420Frame made = Yuv420Frame::make(frame.cols, frame.rows).value();
        ASSERT_TRUE(compositor.composeYuvInto(yuv, Image::fromPixels(mask), s, made));
        for (const auto& [ours, theirs] : {std::pair{made.luma(), expected.luma()},
                                           {made.chromaU(), expected.chromaU()},
                                           {made.chromaV(), expected.chromaV()}}) {
            cv::Mat difference;
            cv::absdiff(ours, theirs, difference);
            EXPECT_LE(cv::mean(difference)[0], 1.0);
            EXPECT_LE(cv::countNonZero(difference > 8), difference.total() / 100);
        }
    }
    Compositor compositor;
    EXPECT_FALSE(compositor.composeYuvInto(yuv, Image::fromPixels(mask),
                                           test::settingsWith(BackgroundKind::transparent),
                                           Yuv420Frame::make(frame.cols, frame.rows).value()));
    EXPECT_FALSE(compositor.composeYuvInto(yuv, Image::fromPixels(mask),
                                           test::settingsWith(BackgroundKind::blur),
                                           Yuv420Frame::make(64, 48).value()));
}

}  // namespace
}  // namespace pelliqo
