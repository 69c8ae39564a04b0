#include <gtest/gtest.h>

#include <fstream>
#include <opencv2/imgproc.hpp>

#include "Clips.h"
#include "MovieProbe.h"
#include "Processes.h"
#include "SuiteFolder.h"

namespace pelliqo {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

std::vector<cv::Mat> framesOf(const fs::path& movie) {
    std::vector<cv::Mat> frames = test::framesOf(movie);
    for (cv::Mat& frame : frames) cv::cvtColor(frame, frame, cv::COLOR_BGRA2BGR);
    return frames;
}

double meanDifference(const cv::Mat& a, const cv::Mat& b) {
    cv::Mat difference;
    cv::absdiff(a, b, difference);
    return cv::mean(cv::mean(difference))[0];
}

// A person walking right over a grey wall, two seconds at 10 frames a second.
class Hosts : public test::SuiteFolder<Hosts> {
  protected:
    static void SetUpTestSuite() {
        ASSERT_TRUE(test::makeClip(
            "-f lavfi -i color=c=gray:s=320x240:r=10:d=2 -loop 1 -i '" PELLIQO_TEST_DATA
            "/people/grace_hopper.png' -filter_complex "
            "\"[1]scale=120:140[p];[0][p]overlay=x='20+n*8':y=100:shortest=1\" "
            "-c:v libx264 -pix_fmt yuv420p -qp 0",
            path("walk.mp4")));
    }
    static bool run(const std::vector<std::string>& argv) {
        const test::ProgramRun ran = test::runWithin(argv, 120s, path("run.log"));
        EXPECT_EQ(ran.code, 0) << ran.output;
        return ran.code == 0;
    }
    test::ScopedEnvironment plugins{"FREI0R_PATH", PELLIQO_FREI0R_DIR};
};

std::vector<cv::Mat> rawFramesOf(const std::string& file) {
    std::ifstream in(file, std::ios::binary);
    std::vector<cv::Mat> frames;
    cv::Mat rgba(240, 320, CV_8UC4), bgr;
    while (in.read(reinterpret_cast<char*>(rgba.data),
                   static_cast<std::streamsize>(rgba.total() * 4))) {
        cv::cvtColor(rgba, bgr, cv::COLOR_RGBA2BGR);
        frames.push_back(bgr.clone());
    }
    return frames;
}

// Within 1.5 grey levels a frame (measured 0.3 to 0.7): hosts convert YUV their own way.
TEST_F(Hosts, FFmpegMeltAndGStreamerRenderWhatTheExportMakes) {
    // Blur strength 41 is the middle of its range, 0.5 to a host.
    ASSERT_TRUE(run({PELLIQO_EXECUTABLE, "process", "--background", "blur", "--blur-strength", "41",
                     "--quality", "fast", path("walk.mp4"), path("processed.mp4")}));
    const auto expected = framesOf(path("processed.mp4"));
    ASSERT_EQ(expected.size(), 20u);
    ASSERT_TRUE(run({"ffmpeg", "-nostdin", "-y", "-i", path("walk.mp4"), "-vf",
                     "frei0r=filter_name=pelliqo:filter_params=blur|0.5|0/0/0|fill||fast", "-c:v",
                     "ffv1", path("ffmpeg.mkv")}));
    ASSERT_TRUE(run({"melt", path("walk.mp4"), "-filter", "frei0r.pelliqo", "kind=blur",
                     "blurStrength=0.5", "quality=fast", "-consumer",
                     "avformat:" + path("melt.mkv"), "vcodec=ffv1", "an=1", "real_time=-1"}));
    // GStreamer reads the clip's frames as raw pictures (its own decoders are other packages).
    ASSERT_TRUE(run({"ffmpeg", "-nostdin", "-y", "-i", path("walk.mp4"), "-f", "rawvideo",
                     "-pix_fmt", "rgba", path("walk.rgba")}));
    const test::ScopedEnvironment registry{"GST_REGISTRY", path("gstreamer.registry")};
    ASSERT_TRUE(run({"gst-launch-1.0", "-q", "filesrc", "location=" + path("walk.rgba"), "!",
                     "rawvideoparse", "width=320", "height=240", "format=rgba", "framerate=10/1",
                     "!", "frei0r-filter-pelliqo", "kind=blur", "blurstrength=0.5", "quality=fast",
                     "!", "filesink", "location=" + path("gstreamer.rgba")}));
    for (const char* host : {"ffmpeg.mkv", "melt.mkv", "gstreamer.rgba"}) {
        const auto frames =
            std::string(host).ends_with(".rgba") ? rawFramesOf(path(host)) : framesOf(path(host));
        ASSERT_EQ(frames.size(), expected.size()) << host;
        for (std::size_t i = 0; i < frames.size(); ++i)
            EXPECT_LE(meanDifference(frames[i], expected[i]), 1.5) << host << " frame " << i;
        // And the filter did something: the wall behind her is blurred, not the clip's own.
        EXPECT_GT(meanDifference(frames[5], framesOf(path("walk.mp4"))[5]), 0.5) << host;
    }
}

TEST_F(Hosts, WithoutUsableModelsFramesPassThroughWithOneLineSaid) {
    const fs::path root = path("prefix");
    fs::create_directories(root / "lib/frei0r-1");
    fs::create_directories(root / "share/pelliqo/models");
    fs::copy_file(fs::path(PELLIQO_FREI0R_DIR) / "pelliqo.so", root / "lib/frei0r-1/pelliqo.so");
    std::ofstream(root / "share/pelliqo/models/manifest.json") << "not a manifest";
    test::ScopedEnvironment installed{"FREI0R_PATH", (root / "lib/frei0r-1").string()};
    const auto copy = [](const std::string& filter, const std::string& out) {
        return test::runWithin({"ffmpeg", "-nostdin", "-y", "-i", path("walk.mp4"), "-vf",
                                filter + "format=rgba", "-c:v", "ffv1", path(out)},
                               120s, path(out + ".log"));
    };
    const test::ProgramRun filtered =
        copy("frei0r=filter_name=pelliqo:filter_params=blur,", "through.mkv");
    ASSERT_EQ(filtered.code, 0) << filtered.output;
    ASSERT_EQ(copy("", "plain.mkv").code, 0);
    const auto through = framesOf(path("through.mkv")), plain = framesOf(path("plain.mkv"));
    ASSERT_EQ(through.size(), plain.size());
    for (std::size_t i = 0; i < through.size(); ++i)
        EXPECT_EQ(meanDifference(through[i], plain[i]), 0) << i;
    const std::string said = "pelliqo: The model file ";
    const auto at = filtered.output.find(said);
    ASSERT_NE(at, std::string::npos) << filtered.output;
    EXPECT_EQ(filtered.output.find(said, at + 1), std::string::npos);
    EXPECT_NE(filtered.output.find("Frames pass through unchanged.", at), std::string::npos);
}

}  // namespace
}  // namespace pelliqo
