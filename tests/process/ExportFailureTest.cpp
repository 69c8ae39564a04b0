#include <gtest/gtest.h>

#include <QTemporaryDir>
#include <algorithm>
#include <fstream>
#include <set>

#include "Clips.h"
#include "Damage.h"
#include "ExportRun.h"
#include "MovieProbe.h"
#include "SuiteFolder.h"
#include "errors/AppErr.h"
#include "errors/ErrorInfo.h"
#include "errors/Texts.h"
#include "platform/media/MovieAsset.h"
#include "platform/media/TrackReader.h"

namespace pelliqo {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

// Each road through the export: 4:2:0 or BGRA, with sound or without, fast or accurate.
struct Road {
    const char* clip;
    QualityChoice quality;
    int points;  // failure points swept, spread evenly over the file
};

std::string nameOf(const testing::TestParamInfo<Road>& info) {
    std::string name = fs::path(info.param.clip).stem().string();
    std::replace(name.begin(), name.end(), '-', '_');
    return name + (info.param.quality == QualityChoice::fast ? "_fast" : "_accurate");
}

constexpr const char* oldBytes = "what was here before";

// The sanitizers slow every export several times over: they sweep a coarser grid.
#if defined(__SANITIZE_THREAD__) || defined(__SANITIZE_ADDRESS__)
constexpr int coarser = 3;
#else
constexpr int coarser = 1;
#endif

class FailingExports : public test::SuiteFolder<FailingExports, testing::TestWithParam<Road>> {
  protected:
    static void SetUpTestSuite() {
        // A busy picture, so that the file is made of many packets.
        const std::string picture = "-f lavfi -i testsrc2=size=320x240:rate=15:duration=1 ";
        const std::string sound = "-f lavfi -i sine=duration=1 -c:a aac -shortest ";
        const std::string sd = "-vf noise=alls=30:allf=t -c:v libx264 -pix_fmt yuv420p ";
        const std::string bt709 = sd + "-colorspace bt709 -color_primaries bt709 -color_trc bt709 ";
        ASSERT_TRUE(test::makeClip(picture + sd, path("bgra.mp4")));
        ASSERT_TRUE(test::makeClip(picture + sound + sd, path("bgra-sound.mp4")));
        ASSERT_TRUE(test::makeClip(picture + bt709, path("yuv.mp4")));
        ASSERT_TRUE(test::makeClip(picture + sound + bt709, path("yuv-sound.mp4")));
    }

    void SetUp() override {
        ASSERT_TRUE(out.isValid());
        EXPECT_EQ(readsAs420(path(GetParam().clip)),
                  fs::path(GetParam().clip).stem().string().starts_with("yuv"));
    }

    static bool readsAs420(const fs::path& movie) {
        const auto reader = TrackReader::video(movie, *MovieAsset::open(movie).video);
        return reader && reader.value()->decodesToMovieYuv();
    }

    EffectSettings settings() const {
        EffectSettings s;
        s.kind = BackgroundKind::blur;
        s.quality = GetParam().quality;
        return s;
    }

    // The destination, holding what the user had there before.
    fs::path destination() {
        const fs::path file = out.filePath("talk.mp4").toStdString();
        std::ofstream(file) << oldBytes;
        return file;
    }

    std::set<std::string> folder() const {
        std::set<std::string> names;
        for (const auto& entry : fs::directory_iterator(out.path().toStdString()))
            names.insert(entry.path().filename().string());
        return names;
    }

    QTemporaryDir out;
};

TEST_P(FailingExports, AFullDiskAtAnyPointEndsTheExportAndKeepsWhatWasThere) {
    const fs::path talk = destination();
    const test::Outcome whole = test::exportVideo(path(GetParam().clip), talk, settings());
    ASSERT_TRUE(whole.ok());
    const auto size = static_cast<std::uint64_t>(fs::file_size(talk));
    // Up to the last few packets: the mask's rounding varies the size by a few hundred bytes
    // from run to run.
    std::set<std::uint64_t> limits = {0, 1, 1000, size - 3000};
    const int points = std::max(2, GetParam().points / coarser);
    for (int k = 1; k < points; ++k) limits.insert(size * k / points);
    for (const std::uint64_t limit : limits) {
        destination();
        const test::Outcome o =
            test::exportVideo(path(GetParam().clip), talk, settings(),
                              {.byteLimit = limit, .cancelAfter = {}, .timeout = 60s});
        ASSERT_TRUE(o.result) << "no end with the disk full after " << limit << " bytes";
        EXPECT_EQ(o.completions, 1) << limit;
        ASSERT_FALSE(o.result->ok()) << limit;
        EXPECT_EQ(ErrorInfo::make("Processing stopped", o.result->error(), Failed::files).message,
                  text::diskFull)
            << limit << ": " << o.result->error().description;
        EXPECT_EQ(folder(), std::set<std::string>{"talk.mp4"}) << limit;
        EXPECT_EQ(test::bytesOf(talk), oldBytes) << limit;
    }
}

TEST_P(FailingExports, CancellingAtAnyMomentEndsOnceAndKeepsWhatWasThere) {
    const fs::path talk = destination();
    for (const auto limit : {std::optional<std::uint64_t>{}, std::optional<std::uint64_t>{60000}}) {
        for (const auto after : {0ms, 5ms, 100ms, 400ms}) {
            destination();
            const test::Outcome o =
                test::exportVideo(path(GetParam().clip), talk, settings(),
                                  {.byteLimit = limit, .cancelAfter = after, .timeout = 60s});
            ASSERT_TRUE(o.result) << "no end when cancelled after " << after.count() << " ms";
            EXPECT_EQ(o.completions, 1);
            EXPECT_EQ(folder(), std::set<std::string>{"talk.mp4"});
            if (o.result->ok()) {
                EXPECT_FALSE(limit);
                EXPECT_EQ(test::streamOf(talk, AVMEDIA_TYPE_VIDEO).codec, AV_CODEC_ID_H264);
                continue;
            }
            EXPECT_EQ(test::bytesOf(talk), oldBytes);
            const bool full =
                ErrorInfo::make("", o.result->error(), Failed::files).message == text::diskFull;
            EXPECT_TRUE(isCancellation(o.result->error()) || (limit && full))
                << o.result->error().description;
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Roads, FailingExports,
                         testing::Values(Road{"yuv.mp4", QualityChoice::fast, 12},
                                         Road{"yuv-sound.mp4", QualityChoice::fast, 12},
                                         Road{"bgra.mp4", QualityChoice::fast, 12},
                                         Road{"bgra-sound.mp4", QualityChoice::fast, 12},
                                         Road{"yuv.mp4", QualityChoice::accurate, 4},
                                         Road{"yuv-sound.mp4", QualityChoice::accurate, 4},
                                         Road{"bgra.mp4", QualityChoice::accurate, 4},
                                         Road{"bgra-sound.mp4", QualityChoice::accurate, 4}),
                         nameOf);

}  // namespace
}  // namespace pelliqo
