#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QSignalSpy>
#include <climits>

#include "Clips.h"
#include "MainLoop.h"
#include "SuiteFolder.h"
#include "process/ProcessModel.h"

namespace pelliqo {
namespace {

namespace fs = std::filesystem;

class ScriptedPanel : public SavePanel {
  public:
    std::optional<fs::path> answer;
    std::optional<SaveRequest> asked;
    std::optional<fs::path> choose(const SaveRequest& request) override {
        asked = request;
        return answer;
    }
};

bool waitFor(const std::function<bool()>& condition) {
    return test::runMainLoopUntil(condition, 60);
}

void settle(int ms) {
    test::runMainLoopFor(ms / 1000.0);
}

class ProcessModelTest : public test::SuiteFolder<ProcessModelTest> {
  protected:
    static void SetUpTestSuite() {
        ASSERT_TRUE(test::makeClip(
            "-f lavfi -i testsrc2=size=320x240:rate=15:duration=2 -c:v libx264 -pix_fmt yuv420p",
            path("clip.mp4")));
    }

    void SetUp() override {
        EffectSettings fast = model.settings();
        EXPECT_TRUE(fast.useSubjectMask);  // offered, so the screen starts with it
        fast.quality = QualityChoice::fast;
        fast.useSubjectMask = false;
        model.setSettings(fast);
        model.setFreeSpace([](const fs::path&) { return std::nullopt; });
    }
    void loadClip() {
        model.load(path("clip.mp4"));
        ASSERT_TRUE(waitFor([&] { return model.inputURL() && model.previewImage(); }));
    }

    ScriptedPanel panel;
    ProcessModel model{panel};
};

TEST_F(ProcessModelTest, LoadingDescribesTheVideoAndPreviewsRenderOncePerChange) {
    loadClip();
    EXPECT_EQ(*model.inputURL(), fs::path(path("clip.mp4")));
    EXPECT_EQ(model.info(), "320×240 · 15 fps · 0:02");
    EXPECT_NEAR(model.duration(), 2.0, 0.1);
    EXPECT_EQ(model.playhead(), 0);
    EXPECT_EQ(model.previewImage()->width(), 320);

    // A burst of playhead moves renders once.
    settle(400);
    const int before = model.previewsRendered();
    for (int i = 1; i <= 10; ++i) model.setPlayhead(i * 0.15);
    settle(600);
    EXPECT_EQ(model.previewsRendered(), before + 1);

    // An identical settings value changes nothing; a real change renders again.
    QSignalSpy changed(&model, &ProcessModel::settingsChanged);
    model.setSettings(model.settings());
    settle(300);
    EXPECT_EQ(changed.count(), 0);
    EXPECT_EQ(model.previewsRendered(), before + 1);
    EffectSettings other = model.settings();
    other.kind = BackgroundKind::color;
    model.setSettings(other);
    settle(600);
    EXPECT_EQ(changed.count(), 1);
    EXPECT_EQ(model.previewsRendered(), before + 2);
}

TEST_F(ProcessModelTest, ExportsRefusedCancelledOrFailedSayWhyAndLeaveNoFile) {
    loadClip();
    panel.answer = fs::path(folder().path().toStdString()) / "." / "clip.mp4";
    model.exportVideo();
    ASSERT_TRUE(model.errorInfo());
    EXPECT_EQ(model.errorInfo()->title, "Choose another name");
    EXPECT_EQ(panel.asked->proposedName, "clip pelliqo.mp4");
    EXPECT_EQ(panel.asked->message, "Saved as H.264 (.mp4).");
    EXPECT_FALSE(model.isProcessing());

    model.setFreeSpace([](const fs::path&) { return std::optional<std::int64_t>(150'000'000); });
    panel.answer = path("elsewhere.mp4");
    model.exportVideo();
    EXPECT_EQ(model.errorInfo()->title, "Not enough disk space");
    EXPECT_FALSE(model.isProcessing());

    // Cancelled or failed, an export shows its state and leaves no file.
    model.setFreeSpace([](const fs::path&) { return std::nullopt; });
    model.setErrorInfo(std::nullopt);
    EffectSettings blur = model.settings();
    blur.kind = BackgroundKind::blur;
    model.setSettings(blur);
    panel.answer = path("cancelled.mp4");
    model.exportVideo();
    model.cancel();
    EXPECT_EQ(model.etaText(), "Cancelling…");
    ASSERT_TRUE(waitFor([&] { return !model.isProcessing(); }));
    EXPECT_EQ(model.etaText(), "Cancelled");
    EXPECT_FALSE(model.errorInfo());
    EXPECT_FALSE(fs::exists(path("cancelled.mp4")));

    // A failed export says why, leaves no time left standing and can be tried again.
    panel.answer = path("no such folder/out.mp4");
    model.exportVideo();
    ASSERT_TRUE(waitFor([&] { return !model.isProcessing(); }));
    ASSERT_TRUE(model.errorInfo());
    EXPECT_EQ(model.errorInfo()->title, "Processing stopped");
    EXPECT_EQ(model.etaText(), "");
}

// An export held in a write its reader no longer takes hears no cancel. The screen is freed
// all the same, and what that export says once let go does not end the next one.
TEST_F(ProcessModelTest, AnExportStuckInAWriteIsLetGoOnCancel) {
    loadClip();
    const std::string pipe = path("stuck.mp4");
    ASSERT_EQ(mkfifo(pipe.c_str(), 0600), 0);
    const int idle = open(pipe.c_str(), O_RDONLY | O_NONBLOCK);  // not read for now
    fcntl(idle, F_SETPIPE_SZ, PIPE_BUF);
    panel.answer = pipe;
    model.exportVideo();
    int held = 0;
    ASSERT_TRUE(waitFor([&] { return ioctl(idle, FIONREAD, &held) == 0 && held > 0; }));
    settle(300);  // into the write that cannot end
    model.cancel();
    ASSERT_TRUE(waitFor([&] { return !model.isProcessing(); }));
    EXPECT_EQ(model.etaText(), "Cancelled");

    panel.answer = path("next.mp4");
    model.exportVideo();
    ASSERT_TRUE(model.isProcessing());
    char drained[PIPE_BUF];  // to its end, which the stuck export's going brings
    EXPECT_TRUE(waitFor([&] { return read(idle, drained, sizeof drained) == 0; }));
    close(idle);
    ASSERT_TRUE(waitFor([&] { return !model.isProcessing(); }));
    EXPECT_EQ(model.outputURL(), fs::path(path("next.mp4")));
}

// As when the window is closed during an export: the program may end right after.
TEST_F(ProcessModelTest, AModelGoneDuringAnExportLeavesNoHiddenFile) {
    auto gone = std::make_unique<ProcessModel>(panel);
    gone->setSettings(model.settings());
    gone->load(path("clip.mp4"));
    ASSERT_TRUE(waitFor([&] { return gone->previewImage().has_value(); }));
    panel.answer = path("gone.mp4");
    gone->exportVideo();
    const auto hidden = [&] {
        for (const auto& entry : fs::directory_iterator(folder().path().toStdString()))
            if (entry.path().filename().string().starts_with(".gone.mp4")) return true;
        return false;
    };
    ASSERT_TRUE(waitFor(hidden));
    gone.reset();
    EXPECT_FALSE(hidden());
    EXPECT_FALSE(fs::exists(path("gone.mp4")));
}

}  // namespace
}  // namespace pelliqo
