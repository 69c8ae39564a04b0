#include <gtest/gtest.h>

#include <QTemporaryDir>
#include <atomic>
#include <chrono>
#include <future>
#include <thread>

#include "FakeCapture.h"
#include "MainLoop.h"
#include "MovieProbe.h"
#include "PipeWireServer.h"
#include "Settings.h"
#include "engine/MovieFormat.h"
#include "errors/Texts.h"
#include "live/RecordModel.h"
#include "platform/image/MatView.h"

namespace pelliqo {
namespace {

namespace fs = std::filesystem;
using test::FakeCapture;
using test::FakeDevices;
using test::runMainLoopUntil;

// A model on fake devices, saving into a folder of its own, with plenty of room.
struct Model {
    explicit Model(FakeDevices devices = {{{"cam", "Camera"}}, {{"tone", "Tone"}}},
                   Segmenter::EngineFactory engines = {}) {
        auto backend = std::make_unique<FakeCapture>(std::make_shared<FakeDevices>(devices));
        fake = backend.get();
        model = std::make_unique<RecordModel>(std::move(backend), std::move(engines));
        model->setFolder([this] { return folder(); });
        model->setFreeSpace([this](const fs::path&) { return freeBytes; });
        model->setReveal([this](const std::vector<fs::path>& files) { revealed = files; });
    }
    fs::path folder() const { return dir.path().toStdString(); }

    bool preview() {
        model->camera().start();
        return runMainLoopUntil([&] { return model->previewImage().has_value(); });
    }
    bool record(double seconds) {
        model->startRecording();
        if (!model->isRecording()) return false;
        test::runMainLoopFor(seconds);
        model->stopRecording();
        return runMainLoopUntil(
            [&] { return !model->savedURLs().empty() || model->errorInfo().has_value(); });
    }

    QTemporaryDir dir;
    std::optional<std::int64_t> freeBytes = 10'000'000'000;
    std::vector<fs::path> revealed;
    FakeCapture* fake = nullptr;
    std::unique_ptr<RecordModel> model;
};

TEST(RecordModel, RecordBeforeTheFirstFrameSaysTheCameraIsNotReady) {
    Model m;
    m.model->startRecording();
    ASSERT_TRUE(m.model->errorInfo());
    EXPECT_EQ(m.model->errorInfo()->title, text::title::cameraNotReady);
    EXPECT_FALSE(m.model->isRecording());
    EXPECT_TRUE(fs::is_empty(m.folder()));
}

// As a lost network share or a hung USB disk does: its first question never answered. The
// window goes on meanwhile.
TEST(RecordModel, ADiskThatDoesNotAnswerFailsTheStartWithinTheBoundAndLeavesNothing) {
    Model m;
    ASSERT_TRUE(m.preview());
    auto answer = std::make_shared<std::promise<void>>();
    m.model->setFreeSpace([answered = answer->get_future().share()](const fs::path&) {
        answered.wait();
        return std::optional<std::int64_t>{};
    });
    m.model->startRecording();
    EXPECT_TRUE(m.model->isRecording());
    EXPECT_FALSE(m.model->errorInfo());
    ASSERT_TRUE(
        runMainLoopUntil([&] { return !m.model->isRecording(); }, RecordModel::startBound + 5));
    ASSERT_TRUE(m.model->errorInfo());
    EXPECT_EQ(m.model->errorInfo()->message, text::diskGone);
    // Stopped before the disk answers, a recording says so once it does, with nothing saved.
    m.model->startRecording();
    m.model->stopRecording();
    EXPECT_FALSE(m.model->isRecording());
    EXPECT_FALSE(m.model->errorInfo());
    answer->set_value();
    ASSERT_TRUE(runMainLoopUntil([&] { return m.model->errorInfo().has_value(); }));
    EXPECT_EQ(m.model->errorInfo()->title, text::title::recordingNotSaved);
    // The files made for both starts go, and neither starts; the next start records.
    test::runMainLoopFor(1);
    EXPECT_TRUE(runMainLoopUntil([&] { return fs::is_empty(m.folder()); }));
    EXPECT_FALSE(m.model->isRecording());
    m.model->setFreeSpace([](const fs::path&) { return std::optional<std::int64_t>{}; });
    EXPECT_TRUE(m.record(0.5));
}

TEST(RecordModel, NoSoundWithoutMicrophoneAccessAndOneFileWithoutTheOriginal) {
    Model m;
    m.fake->change([](FakeDevices& d) { d.microphone = Authorization::denied; });
    m.model->setKeepOriginal(false);
    ASSERT_TRUE(m.preview());
    ASSERT_TRUE(m.record(0.5));
    ASSERT_EQ(m.model->savedURLs().size(), 1u);
    EXPECT_EQ(test::streamOf(m.model->savedURLs()[0], AVMEDIA_TYPE_AUDIO).codec, AV_CODEC_ID_NONE);
}

TEST(RecordModel, ARecordingKeepsItsFormatWhateverIsApplied) {
    Model m;
    ASSERT_TRUE(m.preview());
    m.model->startRecording();
    const BackgroundKind recorded = m.model->settings().kind;
    ASSERT_FALSE(movieFormat(recorded).hasAlpha);
    EffectSettings preset;
    preset.kind = BackgroundKind::transparent;
    preset.edgeSoftness = 9;
    m.model->setSettings(preset);
    EXPECT_EQ(m.model->settings().kind, recorded);
    EXPECT_EQ(m.model->settings().edgeSoftness, 9);
    test::runMainLoopFor(0.5);
    m.model->stopRecording();
    ASSERT_TRUE(runMainLoopUntil([&] { return !m.model->savedURLs().empty(); }));
    EXPECT_EQ(test::streamOf(m.model->savedURLs()[0], AVMEDIA_TYPE_VIDEO).codec, AV_CODEC_ID_H264);
    m.model->setSettings(preset);
    EXPECT_EQ(m.model->settings().kind, BackgroundKind::transparent);
}

// The still camera is red with a blue strip on its left: on which side a picture shows it.
char stripSide(const cv::Mat& bgra) {
    const auto blue = [&](int x) { return bgra.at<cv::Vec4b>(24, x)[0] > 200; };
    const auto red = [&](int x) { return bgra.at<cv::Vec4b>(24, x)[2] > 200; };
    return blue(4) && red(60) ? 'L' : (blue(60) && red(4) ? 'R' : '?');
}
char stripSide(const Bitmap& preview) {
    return stripSide(matView(preview.pixels()));
}

TEST(RecordModel, MirroringThePreviewAndTheRecording) {
    Model m(FakeDevices{{{"still", "Still"}}, {}});
    m.model->setSettings(test::settingsWith(BackgroundKind::none));
    ASSERT_TRUE(m.preview());
    // The preview is mirrored by default, as a mirror shows one's own face.
    ASSERT_TRUE(runMainLoopUntil([&] { return stripSide(*m.model->previewImage()) == 'R'; }));
    m.model->setMirrorPreview(false);
    ASSERT_TRUE(runMainLoopUntil([&] { return stripSide(*m.model->previewImage()) == 'L'; }));

    // A mirrored recording, previewed unmirrored.
    m.model->setMirrorRecording(true);
    m.model->startRecording();
    ASSERT_TRUE(m.model->isRecording());
    test::runMainLoopFor(0.3);
    EXPECT_EQ(stripSide(*m.model->previewImage()), 'L');
    m.model->setMirrorPreview(true);
    ASSERT_TRUE(runMainLoopUntil([&] { return stripSide(*m.model->previewImage()) == 'R'; }));
    test::runMainLoopFor(0.3);
    m.model->stopRecording();
    ASSERT_TRUE(runMainLoopUntil([&] { return !m.model->savedURLs().empty(); }));
    const auto frames = test::framesOf(m.model->savedURLs()[0]);
    ASSERT_FALSE(frames.empty());
    EXPECT_EQ(stripSide(frames[0]), 'R');
}

// Switched off and on, it is a camera they can open again; when theirs breaks, the preview
// goes on.
TEST(RecordModel, OtherAppsSeeTheUnmirroredPictureAndAnUnwatchedCameraRests) {
    auto server = std::make_unique<test::PipeWireServer>();
    if (!server->running()) GTEST_SKIP() << "PipeWire, WirePlumber or D-Bus is not installed";
    Model m(FakeDevices{{{"still", "Still"}}, {}});
    m.model->setCameraOutputPlace({CameraOutputPlace::Kind::pipeWire, {}, {}});
    m.model->setSettings(test::settingsWith(BackgroundKind::none));
    m.model->setMirrorRecording(true);
    m.model->setPreviewsWanted(false);
    m.model->setVirtualCamera(true);
    m.model->camera().start();
    const auto paused = [&] {
        return runMainLoopUntil([&] { return m.model->camera().isPaused(); });
    };
    ASSERT_TRUE(paused());
    EXPECT_EQ(m.model->fps(), 0);  // not one frame processed
    const auto watched = [] {
        return test::CameraWatcher("BGRx", 64, 48).result(std::chrono::seconds(10), [] {
            test::runMainLoopFor(0.02);
        });
    };
    auto seen = watched();
    ASSERT_EQ(seen.frame.size(), 64u * 48 * 4) << "no frame reached the viewer";
    EXPECT_EQ(stripSide(cv::Mat(48, 64, CV_8UC4, seen.frame.data())), 'L');
    EXPECT_EQ(seen.rate, 15);
    EXPECT_TRUE(paused());
    m.model->startRecording();
    EXPECT_FALSE(m.model->camera().isPaused());
    test::runMainLoopFor(0.5);
    m.model->stopRecording();
    ASSERT_TRUE(runMainLoopUntil([&] { return !m.model->savedURLs().empty(); }));

    m.model->setPreviewsWanted(true);
    ASSERT_TRUE(runMainLoopUntil([&] { return m.model->previewImage().has_value(); }));
    m.model->setVirtualCamera(false);
    m.model->setVirtualCamera(true);
    EXPECT_FALSE(watched().frame.empty());
    server.reset();
    ASSERT_TRUE(runMainLoopUntil([&] { return m.model->errorInfo().has_value(); }));
    EXPECT_EQ(m.model->errorInfo()->title, text::title::cameraOutputStopped);
    EXPECT_FALSE(m.model->virtualCamera());
    const double before = m.model->previewFrameTime();
    EXPECT_TRUE(runMainLoopUntil([&] { return m.model->previewFrameTime() > before; }));
}

class SlowEngine : public SegmentationEngine {
  public:
    std::atomic<int> calls = 0;
    std::optional<PixelBuffer> segment(const SegmentationInput&) override {
        ++calls;
        std::this_thread::sleep_for(std::chrono::milliseconds(60));
        auto mask = *PixelBuffer::make(64, 48, PixelFormat::gray8);
        matView(mask).setTo(255);
        return mask;
    }
};

// Skipped frames have their mask carried along the motion; never two in a row.
TEST(RecordModel, AnEngineSlowerThanTheCameraRunsOnEveryOtherFrame) {
    const auto engine = std::make_shared<SlowEngine>();
    Model m(FakeDevices{{{"cam", "Camera"}}, {}}, [engine](SegmentationLevel) { return engine; });
    m.model->setSettings(test::settingsWith(BackgroundKind::blur));
    m.model->setKeepOriginal(false);
    ASSERT_TRUE(m.preview());
    m.model->startRecording();
    const int before = engine->calls;
    test::runMainLoopFor(2);
    const int calls = engine->calls - before;
    m.model->stopRecording();
    ASSERT_TRUE(runMainLoopUntil([&] { return !m.model->savedURLs().empty(); }));
    const int frames = static_cast<int>(test::frameTimes(m.model->savedURLs()[0]).size());
    ASSERT_GT(frames, 6);
    EXPECT_GE(calls, frames / 2 - 1) << frames;
    EXPECT_LE(calls, frames * 3 / 4) << frames;
}

TEST(RecordModel, ACameraThatGoesAwayMidRecordingLeavesWhatWasRecordedToSave) {
    Model m(FakeDevices{{{"brief", "Brief"}}, {}});
    ASSERT_TRUE(m.preview());
    m.model->startRecording();
    ASSERT_TRUE(m.model->isRecording());
    ASSERT_TRUE(runMainLoopUntil([&] { return m.model->camera().problem().has_value(); }));
    EXPECT_EQ(m.model->camera().problem()->title, text::title::cameraStopped);
    m.model->stopRecording();
    ASSERT_TRUE(runMainLoopUntil([&] { return !m.model->savedURLs().empty(); }));
    EXPECT_FALSE(test::frameTimes(m.model->savedURLs()[0]).empty());
}

TEST(RecordModel, AMicrophoneThatGoesAwayMidRecordingLeavesTheRestSilent) {
    Model m(FakeDevices{{{"cam", "Camera"}}, {{"brief", "Brief"}}});
    ASSERT_TRUE(m.preview());
    ASSERT_TRUE(m.record(2.5));
    ASSERT_EQ(m.model->savedURLs().size(), 2u);
    for (const fs::path& file : m.model->savedURLs()) {
        // The picture goes on to the end; the sound holds what came before the microphone went.
        const std::vector<double> times = test::frameTimes(file);
        ASSERT_FALSE(times.empty()) << file;
        EXPECT_GT(times.back(), 2.0) << file;
        const double sound = test::soundSeconds(file);
        EXPECT_GT(sound, 0.0) << file;
        EXPECT_LT(sound, 1.0) << file;
    }
    // The user is told, apart from camera problems, which would mean the picture stopped.
    ASSERT_TRUE(m.model->camera().micProblem());
    EXPECT_EQ(m.model->camera().micProblem()->title, text::title::microphoneStopped);
    EXPECT_FALSE(m.model->camera().problem());
    m.model->camera().reconfigure();  // choosing the microphone again
    EXPECT_FALSE(m.model->camera().micProblem());
}

}  // namespace
}  // namespace pelliqo
