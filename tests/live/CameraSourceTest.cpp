#include <gtest/gtest.h>

#include <atomic>
#include <mutex>

#include "FakeCapture.h"
#include "MainLoop.h"
#include "errors/Texts.h"
#include "live/CameraSource.h"

namespace pelliqo {
namespace {

using test::FakeCapture;
using test::FakeDevices;
using test::runMainLoopUntil;

const DeviceInfo cam{"cam", "Camera"};
const DeviceInfo late{"late", "Late camera"};
const DeviceInfo tone{"tone", "Tone"};

struct Source {
    explicit Source(FakeDevices devices = {{cam}, {tone}}) {
        auto backend = std::make_unique<FakeCapture>(std::make_shared<FakeDevices>(devices));
        fake = backend.get();
        source = std::make_unique<CameraSource>(std::move(backend));
        source->setOnVideo([this](const CapturedFrame& frame) {
            std::lock_guard guard(lock);
            frameTimes.push_back(frame.time);
        });
        source->setOnAudio([this](const AudioSample&) { ++soundBuffers; });
    }
    std::size_t frames() {
        std::lock_guard guard(lock);
        return frameTimes.size();
    }

    std::mutex lock;
    std::vector<double> frameTimes;
    std::atomic<int> soundBuffers{0};
    FakeCapture* fake = nullptr;
    std::unique_ptr<CameraSource> source;  // last: it stops delivering before the rest goes
};

TEST(CameraSource, SelectionsAreKeptRepairedByTheDefaultOrTheFirstOrCleared) {
    Source s({{cam, late}, {tone}, std::nullopt, std::nullopt});
    CameraSource& source = *s.source;
    source.refreshDevices();
    EXPECT_EQ(source.cameras(), (std::vector{cam, late}));
    EXPECT_EQ(source.selectedCameraID(), "cam");  // no default: the first
    EXPECT_EQ(source.selectedMicID(), "tone");
    // A selection that is still listed stays, whatever the default says.
    source.setSelectedCameraID("late");
    s.fake->change([](FakeDevices& d) { d.defaultCamera = "cam"; });
    source.refreshDevices();
    EXPECT_EQ(source.selectedCameraID(), "late");
    // Unplugged: the default takes its place, even one the list does not hold.
    s.fake->change([](FakeDevices& d) {
        d.cameras = {cam};
        d.defaultCamera = "elsewhere";
    });
    source.refreshDevices();
    EXPECT_EQ(source.selectedCameraID(), "elsewhere");
    // Nothing left and no default: no selection.
    s.fake->change([](FakeDevices& d) { d = {}; });
    source.refreshDevices();
    EXPECT_EQ(source.selectedCameraID(), "");
    EXPECT_EQ(source.selectedMicID(), "");
}

TEST(CameraSource, ARunningSessionDeliversFramesSoundAndALevelUntilStopped) {
    Source s;
    CameraSource& source = *s.source;
    source.start();
    ASSERT_TRUE(runMainLoopUntil([&] { return s.frames() >= 10 && s.soundBuffers >= 10; }));
    EXPECT_TRUE(source.isRunning());
    EXPECT_FALSE(source.problem());
    // The tone is a sine of amplitude 1/8: about −21 dB.
    ASSERT_TRUE(runMainLoopUntil([&] { return source.level() > 0; }));
    EXPECT_NEAR(source.level(), (60.0f - 21.07f) / 60.0f, 0.01f);
    {
        std::lock_guard guard(s.lock);
        for (std::size_t i = 1; i < s.frameTimes.size(); ++i)
            EXPECT_GT(s.frameTimes[i], s.frameTimes[i - 1]);
    }
    // With the microphone off, sound is neither forwarded nor metered.
    source.micEnabled().set(false);
    test::runMainLoopFor(0.2);
    const int heard = s.soundBuffers;
    ASSERT_TRUE(runMainLoopUntil([&] { return source.level() == 0; }));
    test::runMainLoopFor(0.3);
    EXPECT_EQ(s.soundBuffers, heard);

    source.stop();
    EXPECT_FALSE(source.isRunning());
    test::runMainLoopFor(0.3);
    const std::size_t seen = s.frames();
    test::runMainLoopFor(0.3);
    EXPECT_EQ(s.frames(), seen);
    EXPECT_FALSE(source.isRunning());  // the configuration's late report did not undo stop()
}

TEST(CameraSource, CameraProblemsArePublished) {
    using Case = std::pair<std::vector<DeviceInfo>, std::string_view>;
    for (const auto& [cameras, title] :
         {Case{{}, text::title::noCameraFound},
          Case{{{"broken", "Broken"}}, text::title::cameraUnavailable}}) {
        Source s({cameras, {}});
        s.source->start();
        ASSERT_TRUE(runMainLoopUntil([&] { return s.source->problem().has_value(); }));
        EXPECT_EQ(s.source->problem()->title, title);
        EXPECT_FALSE(s.source->isRunning());
    }
    Source s({{late}, {}});
    s.source->setNoFramesDelay(0.3);
    s.source->start();
    ASSERT_TRUE(runMainLoopUntil([&] { return s.source->problem().has_value(); }));
    EXPECT_EQ(s.source->problem()->title, text::title::noPicturesFromCamera);
    EXPECT_TRUE(s.source->isRunning());
    ASSERT_TRUE(runMainLoopUntil([&] { return s.frames() > 0; }));
    ASSERT_TRUE(runMainLoopUntil([&] { return !s.source->problem().has_value(); }));
}

// Unplugged, a camera stops; plugged in again, it is chosen and starts by itself, and not
// another camera meanwhile. One plugged in after the start found none starts too.
TEST(CameraSource, ACameraPluggedInAgainStartsByItself) {
    const DeviceInfo brief{"brief", "Brief"};
    Source s({{brief}, {}});
    s.source->start();
    ASSERT_TRUE(runMainLoopUntil([&] { return s.source->problem().has_value(); }));
    EXPECT_EQ(s.source->problem()->title, text::title::cameraStopped);
    s.fake->change([](FakeDevices& d) { d.cameras = {cam}; });
    s.fake->announce();
    test::runMainLoopFor(0.3);
    EXPECT_FALSE(s.source->isRunning());
    s.fake->change([&](FakeDevices& d) { d.cameras = {cam, brief}; });
    s.fake->announce();
    const std::size_t before = s.frames();
    ASSERT_TRUE(runMainLoopUntil([&] { return s.source->isRunning() && s.frames() > before; }));
    EXPECT_EQ(s.source->selectedCameraID(), "brief");
    // Stopped on purpose, it stays stopped.
    s.source->stop();
    s.fake->announce();
    test::runMainLoopFor(0.3);
    EXPECT_FALSE(s.source->isRunning());

    Source none({{}, {}});
    none.source->start();
    ASSERT_TRUE(runMainLoopUntil([&] { return none.source->problem().has_value(); }));
    none.fake->change([](FakeDevices& d) { d.cameras = {cam}; });
    none.fake->announce();
    EXPECT_TRUE(runMainLoopUntil([&] { return none.frames() > 0; }));
}

// A camera can stop sending midway (a USB glitch, the computer's sleep) without a word: that
// is said, and cleared once it sends again; a pause is no stall.
TEST(CameraSource, ACameraThatStallsIsSaidToHaveStoppedUntilItSendsAgain) {
    Source s({{{"stalls", "Stalls"}}, {}});
    s.source->setNoFramesDelay(0.4);
    s.source->start();
    ASSERT_TRUE(runMainLoopUntil([&] { return s.frames() > 0; }));
    s.source->setPaused(true);
    test::runMainLoopFor(0.6);
    EXPECT_FALSE(s.source->problem());
    s.source->setPaused(false);
    ASSERT_TRUE(runMainLoopUntil([&] { return s.source->problem().has_value(); }));
    EXPECT_EQ(s.source->problem()->message, text::report::framesStopped);
    const std::size_t before = s.frames();
    ASSERT_TRUE(runMainLoopUntil([&] { return !s.source->problem().has_value(); }));
    EXPECT_GT(s.frames(), before);
    EXPECT_TRUE(s.source->isRunning());
}

}  // namespace
}  // namespace pelliqo
