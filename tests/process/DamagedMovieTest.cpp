#include <gtest/gtest.h>

#include <QTemporaryDir>
#include <fstream>
#include <map>
#include <random>
#include <set>
#include <tuple>

#include "Clips.h"
#include "Damage.h"
#include "ExportRun.h"
#include "MovieProbe.h"
#include "Settings.h"
#include "errors/PlatformError.h"
#include "errors/Texts.h"

namespace pelliqo {
namespace {

namespace fs = std::filesystem;

// Each container and codec pair people hand us, damaged many times over with a fixed seed.
TEST(DamagedMovies, EndInAFinishedFileOrTheRightErrorAndLeaveNothingBehind) {
    QTemporaryDir dir;
    const auto path = [&](const std::string& name) {
        return dir.filePath(name.c_str()).toStdString();
    };
    const std::string picture = "-f lavfi -i testsrc2=size=64x48:rate=10:duration=1 ";
    const std::string sound = "-f lavfi -i sine=duration=1:sample_rate=48000 -shortest ";
    const std::map<std::string, std::string> clips = {
        {"h264.mp4", picture + sound + "-c:v libx264 -pix_fmt yuv420p -c:a aac"},
        {"prores.mov", picture + sound + "-c:v prores_ks -c:a pcm_s16le"},
        {"vp9.webm", picture + sound + "-c:v libvpx-vp9 -deadline realtime -c:a libopus"},
    };
    const std::set<std::string> unreadable = {std::string(text::failure::notAVideo),
                                              std::string(text::failure::videoTrackUndecodable),
                                              std::string(text::failure::videoUnreadable)};
    std::mt19937 random(20261206);
    int finished = 0, refused = 0;
    for (const auto& [name, arguments] : clips) {
        ASSERT_TRUE(test::makeClip(arguments, path(name))) << name;
        const std::string original = test::bytesOf(path(name));
        for (int i = 0; i < 60; ++i) {
            const fs::path input = path("damaged-" + name), output = path("out.mp4");
            std::ofstream(input, std::ios::binary | std::ios::trunc)
                << test::damaged(original, random);
            const test::Outcome o = test::exportVideo(
                input, output,
                test::settingsWith(i % 4 == 0 ? BackgroundKind::blur : BackgroundKind::none),
                {.byteLimit = {}, .cancelAfter = {}, .timeout = std::chrono::seconds(30)});
            const std::string which = name + " case " + std::to_string(i);
            ASSERT_TRUE(o.result) << which << " did not end";
            EXPECT_EQ(fs::exists(output), o.ok()) << which;
            ++(o.ok() ? finished : refused);
            // Refused at the start, or stopped by the decoder's own report mid-way.
            if (const PlatformError* e = o.ok() ? nullptr : &o.result->error()) {
                EXPECT_TRUE(unreadable.count(e->description) || e->domain == domain::ffmpeg)
                    << which << ": " << e->domain << " " << e->description;
            }
            fs::remove(output);
        }
    }
    // Both ends happen, or the damage is not reaching the reader.
    EXPECT_GT(finished, 0);
    EXPECT_GT(refused, 0);
}

void expectSameFrameTimes(const fs::path& input, const fs::path& output, const char* name) {
    const std::vector<double> in = test::frameTimes(input), out = test::frameTimes(output);
    ASSERT_EQ(out.size(), in.size()) << name;
    for (std::size_t i = 0; i < in.size(); ++i)
        EXPECT_NEAR(out[i], in[i], 1e-3) << name << " " << i;
}

// A Matroska copy of a movie whose track claims another frame duration (nanoseconds).
bool withClaimedFrameDuration(const std::string& bytes, std::uint32_t nanoseconds,
                              const fs::path& out) {
    const std::string element("\x23\xE3\x83\x84", 4);  // DefaultDuration, four bytes
    const std::size_t at = bytes.find(element);
    if (at == std::string::npos) return false;
    std::string copy = bytes;
    for (int i = 0; i < 4; ++i)
        copy[at + 4 + i] = static_cast<char>((nanoseconds >> (8 * (3 - i))) & 0xFF);
    std::ofstream(out, std::ios::binary) << copy;
    return true;
}

TEST(DamagedMovies, UnusualMoviesKeepTheirFramesAsPresentedAndTheirFirstTracks) {
    QTemporaryDir dir;
    const auto path = [&](const std::string& name) {
        return fs::path(dir.filePath(name.c_str()).toStdString());
    };
    const std::string h264 = "-c:v libx264 -pix_fmt yuv420p";
    const std::string picture = "-f lavfi -i testsrc2=size=64x48:rate=10:duration=1 ";
    ASSERT_TRUE(test::makeClip(picture + h264, path("plain.mkv")));
    const std::string plain = test::bytesOf(path("plain.mkv"));
    // Claims of a frame every microsecond and of no frame duration at all.
    ASSERT_TRUE(withClaimedFrameDuration(plain, 1000, path("million.mkv")));
    ASSERT_TRUE(withClaimedFrameDuration(plain, 0, path("zero.mkv")));
    // Frames 0.1 s apart, then 0.3 s apart.
    ASSERT_TRUE(test::makeClip(
        picture + "-vf \"setpts='if(lt(N,5),N*0.1,0.5+(N-5)*0.3)/TB'\" -fps_mode passthrough " +
            h264,
        path("variable.mkv")));
    // Stored from -0.5 s: the edit list hides the first half second, as players do.
    ASSERT_TRUE(
        test::makeClip(picture + h264 + " -output_ts_offset -0.5 -avoid_negative_ts disabled",
                       path("negative.mp4")));
    // A broadcast or camcorder stream starts anywhere on its clock; its copy starts at zero.
    ASSERT_TRUE(test::makeClip(picture + "-f lavfi -i sine=duration=1 " + h264 +
                                   " -c:a aac -f mpegts -output_ts_offset 100",
                               path("late.ts")));
    ASSERT_TRUE(test::makeClip(picture + h264 + " -f h264", path("bare.h264")));  // no times
    ASSERT_TRUE(test::makeClip("-f lavfi -i testsrc2=size=16x16:rate=10:duration=1 " + h264,
                               path("tiny.mp4")));
    ASSERT_TRUE(
        test::makeClip(picture +
                           "-f lavfi -i testsrc2=size=32x32:rate=10:duration=1 -f lavfi -i "
                           "sine=f=300:duration=1 -f lavfi -i sine=f=500:duration=1 -f lavfi -i "
                           "sine=f=700:duration=1 -map 0:v -map 1:v -map 2:a -map 3:a -map 4:a " +
                           h264 + " -c:a aac",
                       path("many.mkv")));
    const EffectSettings blur = test::settingsWith(BackgroundKind::blur);
    for (const auto& [name, width, streams] : {std::tuple{"million.mkv", 64, 1},
                                               {"zero.mkv", 64, 1},
                                               {"variable.mkv", 64, 1},
                                               {"negative.mp4", 64, 1},
                                               {"late.ts", 64, 2},
                                               {"bare.h264", 64, 1},
                                               {"tiny.mp4", 16, 1},
                                               {"many.mkv", 64, 2}}) {
        const fs::path out = path("out.mp4");
        const test::Outcome o = test::exportVideo(path(name), out, blur);
        ASSERT_TRUE(o.ok()) << name << ": "
                            << (o.result ? o.result->error().description : "no result");
        expectSameFrameTimes(path(name), out, name);
        const auto kept = test::streamsOf(out);
        ASSERT_EQ(kept.size(), static_cast<std::size_t>(streams)) << name;
        EXPECT_EQ(kept[0].width, width) << name;
        for (const test::Stream& stream : kept) EXPECT_NEAR(stream.start, 0, 0.05) << name;
        fs::remove(out);
    }
}

}  // namespace
}  // namespace pelliqo
