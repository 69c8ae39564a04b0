#include <gtest/gtest.h>

#include <fstream>

#include "Clips.h"
#include "MovieProbe.h"
#include "Pictures.h"
#include "SuiteFolder.h"
#include "platform/image/MatView.h"
#include "platform/media/FragmentedMovie.h"
#include "platform/media/MovieAsset.h"
#include "platform/media/MovieWriter.h"
#include "platform/media/StillFrameGenerator.h"
#include "platform/media/TrackReader.h"

namespace pelliqo {
namespace {

namespace fs = std::filesystem;
using test::makeClip;

class Movies : public test::SuiteFolder<Movies> {
  protected:
    static void SetUpTestSuite() {
        ASSERT_TRUE(test::makeTurnedMovie(path("upright.mp4"), path("turned.mp4")));
    }
};

TEST_F(Movies, StillsShowTheFrameOnScreenAtTheTimeUprightAndWithinTheLimit) {
    // A clip whose frames count up in brightness: frame n is grey 20·n; the same as a
    // broadcast stream, which starts at 100 s on its clock, and as bare H.264, which says no
    // times and cannot seek.
    const std::string steps =
        "-f lavfi -i color=c=black:size=64x48:rate=10:duration=1 -vf "
        "\"geq=lum='20*N':cb=128:cr=128\" -c:v libx264 -g 4 -pix_fmt "
        "yuv444p -qp 0";
    ASSERT_TRUE(makeClip(steps, path("steps.mp4")));
    ASSERT_TRUE(makeClip(steps + " -f mpegts -output_ts_offset 100", path("steps.ts")));
    ASSERT_TRUE(makeClip(steps + " -f h264", path("steps.h264")));
    for (const fs::path file : {path("steps.mp4"), path("steps.ts"), path("steps.h264")}) {
        auto generator = StillFrameGenerator::open(file, *MovieAsset::open(file).video, 1280, 1280);
        ASSERT_TRUE(generator);
        for (const auto& [seconds, frameNumber] :
             {std::pair{0.0, 0}, {0.55, 5}, {0.29, 2}, {0.9, 9}, {0.1, 1}}) {
            const auto still = generator.value()->image(MediaTime::fromSeconds(seconds));
            ASSERT_TRUE(still) << file << " " << seconds;
            // Luma 20·n in video range, as full-range grey.
            const double expected = std::clamp((20.0 * frameNumber - 16) * 255 / 219, 0.0, 255.0);
            EXPECT_NEAR(matView(still->pixels()).at<cv::Vec4b>(10, 10)[0], expected, 2)
                << file << " " << seconds;
        }
    }
    auto turned = StillFrameGenerator::open(path("turned.mp4"),
                                            *MovieAsset::open(path("turned.mp4")).video, 40, 40);
    const auto small = turned.value()->image(MediaTime::fromSeconds(0.5));
    ASSERT_TRUE(small);
    EXPECT_EQ(small->width(), 23);  // 90 × 160 upright, fitted into 40 × 40
    EXPECT_EQ(small->height(), 40);
}

// Bare H.264, as dashcams and the Raspberry Pi camera record it, says neither its frames'
// times nor its length; Matroska written live (or cut short by a crash) says no length.
TEST_F(Movies, ABareStreamIsTimedAtItsRateAndShowsHowFarItWasRead) {
    const std::string eight = "-f lavfi -i testsrc2=size=160x90:rate=25:duration=8 -c:v libx264";
    ASSERT_TRUE(makeClip(eight + " -f h264", path("bare.h264")));
    ASSERT_TRUE(makeClip(eight + " -f matroska -live 1", path("live.mkv")));
    EXPECT_NEAR(MovieAsset::open(path("bare.h264")).duration, 8.0, 0.05);
    EXPECT_NEAR(MovieAsset::open(path("live.mkv")).duration, 8.0, 0.05);
    auto reader = TrackReader::video(path("bare.h264"), *MovieAsset::open(path("bare.h264")).video);
    ASSERT_TRUE(reader);
    for (int i = 0; i < 200; ++i) {
        const auto sample = reader.value()->nextVideo();
        ASSERT_TRUE(sample) << i;
        ASSERT_NEAR(sample->time.seconds(), i * 0.04, 1e-6);
        if (i == 99) {
            EXPECT_NEAR(reader.value()->fractionRead().value_or(0), 0.5, 0.2);
        }
    }
    EXPECT_FALSE(reader.value()->nextVideo());
}

// FFmpeg takes what comes before a colon for a protocol: "T10:30.mp4" for one named "T10".
TEST_F(Movies, ANameWithAColonIsAFileLikeAnyOther) {
    ASSERT_TRUE(makeClip("-f lavfi -i testsrc2=size=64x48:rate=10:duration=1", path("T10:30.mp4")));
    const fs::path here = fs::current_path();
    fs::current_path(path("."));
    const MovieAsset asset = MovieAsset::open("T10:30.mp4");
    auto reader = TrackReader::video("T10:30.mp4", asset.video.value_or(VideoTrack{}));
    fs::current_path(here);
    ASSERT_TRUE(asset.video);
    ASSERT_TRUE(reader) << reader.error().description;
    EXPECT_TRUE(reader.value()->nextVideo());
}

TEST_F(Movies, AnInputMoreThanASecondAheadOfTheOtherWaitsForIt) {
    using Input = MovieWriter::Input;
    auto writer = MovieWriter::create(path("paced.mp4"), MovieFileType::mpeg4);
    MovieWriter& w = *writer.value();
    ASSERT_TRUE(w.addVideoInput({VideoEncoding::Codec::h264, 16, 16, 1'000'000, {0, 1, 10}}));
    ASSERT_TRUE(w.addAudioInput({}));
    ASSERT_TRUE(w.startWriting());
    const PixelBuffer frame = test::solidBuffer(16, 16, {0, 0, 0, 255});
    const auto sound = [](std::int64_t at) {
        return AudioSample{std::vector<std::int16_t>(960, 0), MediaTime{at, 1, 48000}};
    };
    ASSERT_TRUE(w.appendVideo(frame, MediaTime{10, 1, 10}));  // 1.0 s, the sound still at 0
    EXPECT_TRUE(w.isReadyForMoreMediaData(Input::video));
    ASSERT_TRUE(w.appendVideo(frame, MediaTime{15, 1, 10}));  // 1.5 s
    EXPECT_FALSE(w.isReadyForMoreMediaData(Input::video));
    EXPECT_TRUE(w.isReadyForMoreMediaData(Input::audio));
    ASSERT_TRUE(w.appendAudio(sound(24000)));  // the sound catches up to 0.5 s
    EXPECT_TRUE(w.isReadyForMoreMediaData(Input::video));
    // A finished input holds nobody back.
    w.markAsFinished(Input::audio);
    ASSERT_TRUE(w.appendVideo(frame, MediaTime{40, 1, 10}));
    EXPECT_TRUE(w.isReadyForMoreMediaData(Input::video));
    w.markAsFinished(Input::video);
    EXPECT_TRUE(w.finishWriting());
}

// Live sound is stamped by the clock it arrived by, while a microphone's own clock runs a
// little fast or slow, and a buffer can come in late: the sound keeps to its stamps.
TEST_F(Movies, LiveSoundKeepsToItsTimesWhateverTheMicrophonesClock) {
    struct Clock {
        std::string name;
        double step;  // seconds between the stamps of 20 ms buffers
        double lateNowAndThen = 0;
    };
    for (const Clock& clock :
         {Clock{"fast", 0.0196}, Clock{"slow", 0.0204}, Clock{"late", 0.02, 0.2}}) {
        SCOPED_TRACE(clock.name);
        auto writer = MovieWriter::create(path(clock.name + ".mp4"), MovieFileType::mpeg4);
        MovieWriter& w = *writer.value();
        ASSERT_TRUE(w.addVideoInput({VideoEncoding::Codec::h264, 16, 16, 1'000'000, {0, 1, 10}}));
        ASSERT_TRUE(w.addAudioInput({}));
        ASSERT_TRUE(w.startWriting());
        const PixelBuffer frame = test::solidBuffer(16, 16, {0, 0, 0, 255});
        for (int i = 0; i < 500; ++i) {
            if (i % 5 == 0) {
                ASSERT_TRUE(w.appendVideo(frame, MediaTime{i / 5, 1, 10}));
            }
            const double late = i % 50 == 25 ? clock.lateNowAndThen : 0;
            ASSERT_TRUE(w.appendAudio({std::vector<std::int16_t>(2 * 960, 1000),
                                       MediaTime::fromSeconds(i * clock.step + late, 48000)}));
        }
        w.markAsFinished(MovieWriter::Input::video);
        w.markAsFinished(MovieWriter::Input::audio);
        ASSERT_TRUE(w.finishWriting());
        EXPECT_NEAR(test::soundSeconds(path(clock.name + ".mp4")), 499 * clock.step + 0.02, 0.08);
    }
}

int framesIn(const std::string& file) {
    return static_cast<int>(test::framesOf(file).size());
}

// A recording cut off by a full disk ends anywhere, inside a fragment's index too.
TEST_F(Movies, ACutOffRecordingIsCutBackToWhereItOpens) {
    const std::string whole = path("fragments.mp4");
    {
        auto writer = MovieWriter::create(whole, MovieFileType::mpeg4, MovieLayout::fragmented);
        MovieWriter& w = *writer.value();
        ASSERT_TRUE(w.addVideoInput({VideoEncoding::Codec::h264, 64, 48, 500'000, {0, 1, 10}}));
        ASSERT_TRUE(w.startWriting());
        for (int i = 0; i < 30; ++i) {
            ASSERT_TRUE(w.appendVideo(test::solidBuffer(64, 48, {0, 0, 8.0 * i, 255}), {i, 1, 10}));
        }
        w.markAsFinished(MovieWriter::Input::video);
        ASSERT_TRUE(w.finishWriting());
    }
    std::ifstream in(whole, std::ios::binary);
    const std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    const std::size_t first = bytes.find("moof") - 4;
    const std::size_t second = bytes.find("moof", first + 8) - 4;
    ASSERT_LT(second, bytes.size());
    const auto cutAt = [&](std::size_t size) {
        const std::string cut = path("cut.mp4");
        std::ofstream(cut, std::ios::binary | std::ios::trunc).write(bytes.data(), size);
        return cut;
    };
    // Cut four bytes short of the second fragment's index end: nothing would open it.
    const auto sizeAt = [&](std::size_t at) {  // a box's, big-endian
        std::uint32_t size = 0;
        for (int i = 0; i < 4; ++i) size = size << 8 | std::uint8_t(bytes[at + i]);
        return size;
    };
    const std::uint32_t secondSize = sizeAt(second);
    const std::string insideIndex = cutAt(second + secondSize - 4);
    ASSERT_EQ(framesIn(insideIndex), 0);
    EXPECT_FALSE(trimToWholeFragments(insideIndex));
    EXPECT_EQ(fs::file_size(insideIndex), second);
    EXPECT_EQ(framesIn(insideIndex), 10);  // the first second, whole
    // Cut inside the first fragment's pictures: they play up to the cut, as nothing else would.
    // Cut inside the header of its pictures: the header alone is left.
    const std::string firstCut = cutAt(second - 100);
    EXPECT_FALSE(trimToWholeFragments(firstCut));
    EXPECT_EQ(fs::file_size(firstCut), second - 100);
    EXPECT_GT(framesIn(firstCut), 0);  // small frames: the last 100 bytes hold several
    const std::string insideHeader = cutAt(first + sizeAt(first) + 4);
    EXPECT_FALSE(trimToWholeFragments(insideHeader));
    EXPECT_EQ(fs::file_size(insideHeader), first);
    EXPECT_FALSE(trimToWholeFragments(whole));  // a whole movie stays as it is
    EXPECT_EQ(framesIn(whole), 30);
}

TEST(H264Level, TheLowestLevelThatHoldsTheStream) {
    EXPECT_EQ(h264Level(640, 360, 30, 1'000'000), 30);
    EXPECT_EQ(h264Level(1280, 720, 30, 3'686'400), 31);
    EXPECT_EQ(h264Level(1920, 1080, 30, 8'294'400), 40);
    EXPECT_EQ(h264Level(1920, 1080, 60, 8'294'400), 42);
    EXPECT_EQ(h264Level(3840, 2160, 30, 33'177'600), 51);
    EXPECT_EQ(h264Level(1920, 1080, 0, 8'294'400), 42);  // unknown rate
}

}  // namespace
}  // namespace pelliqo
