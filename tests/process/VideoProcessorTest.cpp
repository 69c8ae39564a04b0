#include <gtest/gtest.h>
#include <sys/stat.h>

#include <fstream>
#include <limits>
#include <opencv2/imgproc.hpp>
#include <tuple>

#include "Clips.h"
#include "ExportRun.h"
#include "MovieProbe.h"
#include "Settings.h"
#include "SuiteFolder.h"
#include "process/VideoProcessor.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
}

namespace pelliqo {
namespace {

using test::exportVideo;
using test::frameTimes;
using test::Outcome;
using test::streamsOf;

namespace fs = std::filesystem;
using test::makeClip;

// The lowest PSNR over the frames; 0 when the frame counts differ.
double lowestPsnr(const fs::path& a, const fs::path& b) {
    const auto framesA = test::framesOf(a), framesB = test::framesOf(b);
    if (framesA.empty() || framesA.size() != framesB.size()) return 0;
    double lowest = std::numeric_limits<double>::infinity();
    for (std::size_t i = 0; i < framesA.size(); ++i) {
        cv::Mat colourA, colourB;
        cv::cvtColor(framesA[i], colourA, cv::COLOR_BGRA2BGR);
        cv::cvtColor(framesB[i], colourB, cv::COLOR_BGRA2BGR);
        lowest = std::min(lowest, cv::PSNR(colourA, colourB));
    }
    return lowest;
}

class Exports : public test::SuiteFolder<Exports> {
  protected:
    static void SetUpTestSuite() {
        ASSERT_TRUE(test::makeMovieWithSound(path("av.mp4")));
        ASSERT_TRUE(test::makeTurnedMovie(path("upright.mp4"), path("turned.mp4")));
        ASSERT_TRUE(makeClip(
            "-f lavfi -i testsrc2=size=641x361:rate=5:duration=1 -c:v libx264 -pix_fmt yuv444p",
            path("odd.mp4")));
        // Stored narrower than shown, as HDV's 1440 × 1080 is.
        ASSERT_TRUE(makeClip("-f lavfi -i testsrc2=size=240x180:rate=5:duration=1 -vf setsar=4/3",
                             path("anamorphic.mp4")));
        // A person standing still, from a test photo, filmed on a day, with a timecode.
        ASSERT_TRUE(makeClip("-loop 1 -i '" PELLIQO_TEST_DATA "/people/grace_hopper.png' -t 1 -r 5 "
                             "-vf scale=256:300 -c:v libx264 -pix_fmt yuv420p -metadata "
                             "creation_time=2024-05-01T10:00:00Z -metadata title=Grace -timecode "
                             "10:00:00:00",
                             path("person.mp4")));
        // The same, in the colours exports are written in.
        ASSERT_TRUE(makeClip("-i '" + path("person.mp4") +
                                 "' -vf scale=out_color_matrix=bt709:out_range=tv -colorspace "
                                 "bt709 -color_primaries bt709 -color_trc bt709 -c:v libx264 "
                                 "-pix_fmt yuv420p",
                             path("person709.mp4")));
    }
};

TEST_F(Exports, KeepsEveryFrameAndItsTimeAndReencodesTheSound) {
    const fs::path out = path("av out.mp4");
    const Outcome o = exportVideo(path("av.mp4"), out, test::settingsWith(BackgroundKind::none));
    ASSERT_TRUE(o.ok()) << (o.result ? o.result->error().description : "no result");
    EXPECT_EQ(o.result->value(), out);
    EXPECT_EQ(o.completions, 1);
    EXPECT_TRUE(o.doneBeforeCompletion);
    const auto streams = streamsOf(out);
    ASSERT_EQ(streams.size(), 2u);
    EXPECT_EQ(streams[0].codec, AV_CODEC_ID_H264);
    EXPECT_EQ(streams[0].profile, FF_PROFILE_H264_HIGH);
    EXPECT_LE(streams[0].level, 31);  // a sane level for 320 × 240 at 15 fps, not x264's guess
    EXPECT_EQ(streams[1].codec, AV_CODEC_ID_AAC);
    EXPECT_EQ(frameTimes(out), frameTimes(path("av.mp4")));
    // Without a background the picture is a faithful copy (of a photo: the test pattern's
    // saturated one-pixel colour edges are what 4:2:0 chroma cannot hold twice).
    const fs::path person = path("person out.mp4");
    ASSERT_TRUE(
        exportVideo(path("person.mp4"), person, test::settingsWith(BackgroundKind::none)).ok());
    EXPECT_GE(lowestPsnr(path("person.mp4"), person), 40.0);
    // And keeps what its original says of itself, for libraries and editors to place it by.
    EXPECT_EQ(test::tagOf(person, "creation_time").substr(0, 19), "2024-05-01T10:00:00");
    EXPECT_EQ(test::tagOf(person, "title"), "Grace");
    EXPECT_EQ(test::tagOf(person, "timecode"), "10:00:00:0");  // at 5 frames a second
    EXPECT_NEAR(test::soundSeconds(out) * AudioSample::rate, 2.0 * 48000, 1024 + 2048);
}

TEST(TimeLeft, IsEstimatedFromThePaceOnceTwoPercentAreDone) {
    EXPECT_EQ(VideoProcessor::timeLeftText(0, 0), "Estimating time left…");
    EXPECT_EQ(VideoProcessor::timeLeftText(0.02, 0.5), "Estimating time left…");
    EXPECT_EQ(VideoProcessor::timeLeftText(0.0625, 1), "About 0:15 left");
    EXPECT_EQ(VideoProcessor::timeLeftText(0.5, 75), "About 1:15 left");
    EXPECT_EQ(VideoProcessor::timeLeftText(1, 75), "About 0:00 left");
}

TEST_F(Exports, MoviesInTheExportColoursKeepThem) {
    const fs::path copy = path("person709 copy.mp4");
    ASSERT_TRUE(
        exportVideo(path("person709.mp4"), copy, test::settingsWith(BackgroundKind::none)).ok());
    EXPECT_GE(lowestPsnr(path("person709.mp4"), copy), 40.0);

    EffectSettings green = test::settingsWith(BackgroundKind::color);
    std::tie(green.red, green.green, green.blue) = std::tuple(0.0, 1.0, 0.0);
    const fs::path out = path("person709 green.mp4");
    const Outcome o = exportVideo(path("person709.mp4"), out, green);
    ASSERT_TRUE(o.ok());
    const auto source = test::framesOf(path("person709.mp4")), made = test::framesOf(out);
    ASSERT_FALSE(source.empty() || made.empty());
    const cv::Vec4b corner = made[0].at<cv::Vec4b>(5, 5);
    EXPECT_LE(cv::norm(cv::Vec3i(corner[0], corner[1], corner[2]), cv::Vec3i(0, 255, 0)), 12);
    const cv::Rect jacket(118, 280, 20, 10);
    EXPECT_LE(cv::norm(made[0](jacket), source[0](jacket), cv::NORM_INF), 12);
}

// As phones record: 10-bit HEVC, BT.2020, its light in PQ, reference white at 203 cd/m².
TEST_F(Exports, HighDynamicRangeMoviesComeOutAsAnOrdinaryScreenShowsThem) {
    ASSERT_TRUE(makeClip("-i '" + path("person.mp4") +
                             "' -vf format=gbrpf32le,zscale=tin=iec61966-2-1:t=linear:npl=203,"
                             "zscale=p=2020:pin=709,zscale=t=smpte2084:m=2020_ncl:npl=203:r=tv,"
                             "format=yuv420p10le -c:v libx265 -x265-params log-level=error "
                             "-color_primaries bt2020 -color_trc smpte2084 -colorspace bt2020nc",
                         path("personPQ.mp4")));
    const fs::path out = path("personPQ out.mp4");
    ASSERT_TRUE(
        exportVideo(path("personPQ.mp4"), out, test::settingsWith(BackgroundKind::none)).ok());
    EXPECT_GE(lowestPsnr(path("person.mp4"), out), 28.0);
}

TEST_F(Exports, TurnsFramesUprightShowsThemAtTheirShapeAndEvensTheirSize) {
    for (const auto& [in, kind, width, height] :
         {std::tuple{"turned.mp4", BackgroundKind::none, 90, 160},
          {"anamorphic.mp4", BackgroundKind::none, 320, 180},
          {"odd.mp4", BackgroundKind::blur, 640, 360}}) {
        const fs::path out = path("out.mp4");
        ASSERT_TRUE(exportVideo(path(in), out, test::settingsWith(kind)).ok()) << in;
        const auto streams = streamsOf(out);
        ASSERT_EQ(streams.size(), 1u);  // no audio in, none out
        EXPECT_EQ(streams[0].width, width);
        EXPECT_EQ(streams[0].height, height);
    }
}

// How much the rows of each frame comb: the mean of |2 row − the rows above and below|.
double combing(const fs::path& movie) {
    double sum = 0;
    const auto frames = test::framesOf(movie);
    for (const cv::Mat& frame : frames) {
        cv::Mat grey, comb;
        cv::cvtColor(frame, grey, cv::COLOR_BGRA2GRAY);
        cv::filter2D(grey, comb, CV_32F, cv::Mat_<float>({3, 1}, {-1, 2, -1}));
        sum += cv::mean(cv::abs(comb))[0];
    }
    return frames.empty() ? 0 : sum / static_cast<double>(frames.size());
}

// A white bar crossing at 50 fields a second, each frame woven from two fields, as camcorders
// and television record; then the same at another size, joined on.
TEST_F(Exports, InterlacedMoviesComeOutWholeWithEveryFrameInItsPlace) {
    const std::string interlaced =
        ":rate=50:duration=1\" -f lavfi -i color=white:size=20x40:rate=50 -filter_complex "
        "'[0][1]overlay=x=mod(t*300\\,140):y=20:shortest=1,tinterlace=interleave_top,"
        "fieldorder=tff' -c:v libx264 -flags +ildct+ilme -x264opts tff=1 -r 25";
    ASSERT_TRUE(makeClip("-f lavfi -i \"color=black:size=160x90" + interlaced + " -f mpegts",
                         path("field.ts")));
    ASSERT_TRUE(makeClip("-f lavfi -i \"color=black:size=192x108" + interlaced + " -f mpegts",
                         path("larger field.ts")));
    ASSERT_TRUE(
        makeClip("-i 'concat:" + path("field.ts") + "|" + path("larger field.ts") + "' -c copy",
                 path("fields.ts")));
    // Counted as made: read through the program, the input would lose what the export loses.
    for (const auto& [in, frames] : {std::pair{"field.ts", 25u}, {"fields.ts", 50u}}) {
        const fs::path out = path("whole.mp4");
        ASSERT_TRUE(exportVideo(path(in), out, test::settingsWith(BackgroundKind::none)).ok());
        EXPECT_EQ(frameTimes(out).size(), frames) << in;
        EXPECT_LT(combing(out), 3.0) << in;  // combed, 12–20; whole, under 1
    }
}

TEST_F(Exports, TransparentExportsAreProResWithAlphaAroundThePerson) {
    const fs::path out = path("person.mov");
    ASSERT_TRUE(
        exportVideo(path("person.mp4"), out, test::settingsWith(BackgroundKind::transparent)).ok());
    EXPECT_EQ(streamsOf(out)[0].codec, AV_CODEC_ID_PRORES);
    const cv::Mat first = test::framesOf(out).at(0);
    EXPECT_EQ(first.at<cv::Vec4b>(5, 5), cv::Vec4b(0, 0, 0, 0));  // background: clear, zeroed
    EXPECT_EQ(first.at<cv::Vec4b>(first.rows - 5, first.cols / 2)[3], 255);  // her jacket
}

// A blocking open would wait for a reader for ever, and cancelling could not end it.
TEST_F(Exports, APipeThatNothingReadsEndsTheExport) {
    ASSERT_EQ(mkfifo(path("unread.mp4").c_str(), 0600), 0);
    const Outcome o = exportVideo(
        path("person.mp4"), path("unread.mp4"), test::settingsWith(BackgroundKind::none),
        {.byteLimit = {}, .cancelAfter = {}, .timeout = std::chrono::seconds(30)});
    ASSERT_TRUE(o.result) << "no end";
    ASSERT_FALSE(o.ok());
    EXPECT_EQ(o.result->error().code, EPIPE);  // not a disk gone
}

TEST_F(Exports, WhatIsNotAVideoIsRefusedAndLeavesNothingBehind) {
    std::ofstream(path("empty.mp4")).close();
    std::ofstream(path("noise.mp4")) << std::string(20000, '\x42');
    ASSERT_TRUE(makeClip("-f lavfi -i sine=duration=1 -c:a aac", path("sound.m4a")));
    ASSERT_TRUE(makeClip("-f lavfi -i color=c=blue:size=16x16 -frames:v 1", path("picture.png")));
    fs::create_directory(path("folder.mp4"));
    for (const char* name :
         {"empty.mp4", "noise.mp4", "sound.m4a", "picture.png", "folder.mp4", "missing.mp4"}) {
        const fs::path out = path("refused.mp4");
        const Outcome o = exportVideo(path(name), out, test::settingsWith(BackgroundKind::none));
        ASSERT_TRUE(o.result) << name;
        ASSERT_FALSE(o.ok()) << name;
        EXPECT_EQ(o.result->error().description, "This file can't be read as a video.") << name;
        EXPECT_FALSE(fs::exists(out)) << name;
    }
}

}  // namespace
}  // namespace pelliqo
