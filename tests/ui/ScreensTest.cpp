#include <gtest/gtest.h>

#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QDropEvent>
#include <QLabel>
#include <QMimeData>
#include <QPushButton>
#include <QStackedWidget>
#include <QTemporaryDir>
#include <fstream>

#include "Clips.h"
#include "MainLoop.h"
#include "MovieProbe.h"
#include "PipeWireServer.h"
#include "Settings.h"
#include "engine/PresetStore.h"
#include "errors/Texts.h"
#include "live/FakeCapture.h"
#include "live/PermissionCenter.h"
#include "live/RecordModel.h"
#include "platform/output/LoopbackOutput.h"
#include "process/ProcessModel.h"
#include "ui/ContentView.h"
#include "ui/ErrorBox.h"
#include "ui/FirstRunView.h"
#include "ui/ProcessView.h"
#include "ui/RecordView.h"
#include "ui/SettingsPanel.h"

namespace pelliqo {
namespace {

namespace fs = std::filesystem;
using test::FakeDevices;
using test::runMainLoopUntil;

// Pictures of the screens for review, written where the build keeps them.
void screenshot(QWidget& widget, const char* name) {
    QDir().mkpath(PELLIQO_SCREENSHOTS);
    EXPECT_TRUE(widget.grab().save(QString(PELLIQO_SCREENSHOTS) + "/" + name + ".png")) << name;
}

class ExportTo : public SavePanel {
  public:
    explicit ExportTo(fs::path file) : file_(std::move(file)) {}
    std::optional<fs::path> choose(const SaveRequest&) override { return file_; }

  private:
    fs::path file_;
};

// A window on fake devices, with its settings and files in a folder of its own.
struct Window {
    explicit Window(bool sawIntro = true, std::vector<DeviceKind> refused = {}) {
        ContentParts parts;
        parts.defaults = std::make_unique<QSettings>(path("defaults.ini"), QSettings::IniFormat);
        if (sawIntro) parts.defaults->setValue(ContentView::didSeeIntroKey, true);
        const auto check = [refused](DeviceKind kind) {
            return std::find(refused.begin(), refused.end(), kind) == refused.end();
        };
        parts.permissions = std::make_unique<PermissionCenter>(
            PermissionStore(path("permissions.ini").toStdString(), check));
        auto backend = std::make_unique<test::FakeCapture>(std::make_shared<FakeDevices>(
            FakeDevices{{{"cam", "Built-in camera"}}, {{"tone", "Headset microphone"}}}));
        parts.record = std::make_unique<RecordModel>(std::move(backend));
        parts.record->setFolder([this] { return fs::path(dir.path().toStdString()); });
        parts.record->setFreeSpace([](const fs::path&) { return 10'000'000'000LL; });
        parts.savePanel = std::make_unique<ExportTo>(path("export.mp4").toStdString());
        parts.process = std::make_unique<ProcessModel>(*parts.savePanel);
        parts.presets = std::make_unique<PresetStore>(
            std::make_unique<QSettings>(path("presets.ini"), QSettings::IniFormat));
        view = std::make_unique<ContentView>(std::move(parts));
        view->resize(1100, 720);
        view->show();
    }
    QString path(const char* name) const { return dir.filePath(name); }
    void allow(DeviceKind kind) {
        PermissionStore(path("permissions.ini").toStdString()).allow(kind);
        view->permissions().refresh();
    }
    template <class T>
    T* find(const char* name) const {
        return view->findChild<T*>(name);
    }

    QTemporaryDir dir;
    std::unique_ptr<ContentView> view;
};

TEST(Window, TheFirstRunSheetClosesOnlyThroughItsButtonsAndOnlyOnce) {
    QTemporaryDir shared;
    const QString defaults = shared.filePath("defaults.ini");
    {
        Window w(false);
        FirstRunView* sheet = w.view->firstRun();
        ASSERT_NE(sheet, nullptr);
        ASSERT_TRUE(runMainLoopUntil([&] { return sheet->isVisible(); }));
        screenshot(*sheet, "first-run");
        sheet->reject();  // Escape
        sheet->close();   // the close box
        EXPECT_TRUE(sheet->isVisible());
        sheet->findChild<QPushButton*>("notNow")->click();
        EXPECT_TRUE(runMainLoopUntil([&] { return w.view->firstRun() == nullptr; }));
        EXPECT_EQ(w.view->permissions().camera(), Authorization::notDetermined);  // not asked
        QFile::copy(w.path("defaults.ini"), defaults);
    }
    QSettings saved(defaults, QSettings::IniFormat);
    EXPECT_TRUE(saved.value(ContentView::didSeeIntroKey).toBool());
    Window again;  // didSeeIntro set
    EXPECT_EQ(again.view->firstRun(), nullptr);
}

TEST(Window, TheRecordScreenFollowsTheCameraPermission) {
    Window notAsked;
    EXPECT_EQ(notAsked.find<QStackedWidget>("cameraArea")->currentIndex(), 0);
    EXPECT_FALSE(notAsked.find<QPushButton>("record")->isVisibleTo(notAsked.view.get()));
    screenshot(*notAsked.view, "record-not-determined");

    Window denied(true, {DeviceKind::camera});
    denied.allow(DeviceKind::camera);
    EXPECT_EQ(denied.find<QStackedWidget>("cameraArea")->currentIndex(), 1);
    EXPECT_FALSE(denied.find<QWidget>("savedRow")->isVisibleTo(denied.view.get()));
    screenshot(*denied.view, "record-denied");
}

TEST(Window, RecordingLocksTheControlsThatWouldChangeIt) {
    Window w(true, {DeviceKind::microphone});
    w.allow(DeviceKind::camera);
    w.allow(DeviceKind::microphone);
    w.view->record().camera().start();
    auto* record = w.find<QPushButton>("record");
    EXPECT_FALSE(record->isEnabled());  // no processed frame yet
    ASSERT_TRUE(runMainLoopUntil([&] { return record->isEnabled(); }, 30));
    EXPECT_EQ(w.find<QStackedWidget>("microphoneControls")->currentIndex(), 1);  // "Microphone off"
    EXPECT_FALSE(w.find<QComboBox>("microphonePicker")->isEnabled());
    EXPECT_TRUE(w.find<QWidget>("permissionNotice")->isVisibleTo(w.view.get()));
    screenshot(*w.view, "record-preview");

    record->click();
    ASSERT_TRUE(w.view->record().isRecording());
    EXPECT_EQ(record->text(), "Stop");
    EXPECT_FALSE(w.view->modeSwitch()->isEnabled());
    for (const char* locked : {"cameraPicker", "mirrorRecording", "keepOriginal", "kind"})
        EXPECT_FALSE(w.find<QWidget>(locked)->isEnabled()) << locked;
    EXPECT_TRUE(w.find<QCheckBox>("mirrorPreview")->isEnabled());
    test::runMainLoopFor(0.7);
    EXPECT_TRUE(w.find<QLabel>("clock")->text().startsWith("● 0:0"));
    screenshot(*w.view, "record-recording");
}

TEST(Window, WithoutAPlaceForTheCameraForOtherAppsTheScreenSaysHowToGetOne) {
    if (!LoopbackOutput::devices().empty()) GTEST_SKIP() << "this machine has a loopback device";
    test::NoPipeWire none;
    Window w;
    w.allow(DeviceKind::camera);
    EXPECT_FALSE(w.find<QCheckBox>("virtualCamera")->isEnabled());
    EXPECT_EQ(w.find<QLabel>("virtualCameraUnavailable")->text(),
              "Install v4l2loopback-dkms to use Pelliqo in other apps.");
    screenshot(*w.view, "record-no-camera-for-other-apps");
}

TEST(Window, ClosingTheWindowDuringARecordingFinishesItsFiles) {
    auto w = std::make_unique<Window>();
    w->allow(DeviceKind::camera);
    ASSERT_TRUE(runMainLoopUntil([&] { return w->view->record().previewImage().has_value(); }));
    w->view->record().startRecording();
    ASSERT_TRUE(w->view->record().isRecording());
    test::runMainLoopFor(0.5);
    const fs::path folder = w->dir.path().toStdString();
    w->view.reset();
    std::vector<fs::path> movies;
    for (const auto& entry : fs::directory_iterator(folder))
        if (entry.path().extension() == ".mp4") movies.push_back(entry.path());
    ASSERT_EQ(movies.size(), 2u);
    for (const fs::path& movie : movies) {
        EXPECT_TRUE(test::isFinishedRecording(movie)) << movie;
        EXPECT_FALSE(test::frameTimes(movie).empty()) << movie;
    }
}

TEST(Window, SwitchingModesRemovesTheOtherScreenAndStopsTheCamera) {
    Window w;
    w.allow(DeviceKind::camera);
    w.view->record().camera().start();
    ASSERT_TRUE(runMainLoopUntil([&] { return w.view->record().camera().isRunning(); }));
    w.view->modeSwitch()->setCurrentIndex(1);
    EXPECT_EQ(w.find<RecordView>("recordView"), nullptr);
    EXPECT_NE(w.find<ProcessView>("processView"), nullptr);
    EXPECT_FALSE(w.view->record().camera().isRunning());
    w.view->modeSwitch()->setCurrentIndex(0);
    ASSERT_TRUE(runMainLoopUntil([&] { return w.view->record().camera().isRunning(); }));
}

// As after a camera that failed, or was held by another app.
TEST(Window, ChoosingAStoppedCameraAgainStartsIt) {
    Window w;
    w.allow(DeviceKind::camera);
    CameraSource& camera = w.view->record().camera();
    ASSERT_TRUE(runMainLoopUntil([&] { return camera.isRunning(); }));
    camera.stop();
    emit w.find<QComboBox>("cameraPicker")->activated(0);
    EXPECT_TRUE(runMainLoopUntil([&] { return camera.isRunning(); }));
}

// Straight to the screen, as there is no real drag here.
void drop(QWidget* view, const QStringList& files) {
    QMimeData data;
    QList<QUrl> urls;
    for (const QString& file : files) urls << QUrl::fromLocalFile(file);
    data.setUrls(urls);
    QDropEvent event(view->rect().center(), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    static_cast<QObject*>(view)->event(&event);
}

TEST(Window, TheProcessScreenLoadsDropsAndExports) {
    Window w;
    w.view->modeSwitch()->setCurrentIndex(1);
    auto* view = w.find<ProcessView>("processView");
    screenshot(*w.view, "process-empty");
    EXPECT_TRUE(w.find<QCheckBox>("subjectMask")->isChecked());
    w.view->process().setSettings(test::settingsWith(BackgroundKind::color));
    EXPECT_EQ(w.find<QComboBox>("kind")->currentText(), label(BackgroundKind::color));

    // A dropped non-video is the model's error.
    std::ofstream(w.path("notes.mp4").toStdString()) << "not a movie";
    drop(view, {w.path("notes.mp4")});
    ASSERT_TRUE(runMainLoopUntil([&] { return w.view->process().errorInfo().has_value(); }));
    EXPECT_EQ(w.view->process().errorInfo()->title, text::title::cannotReadFile);
    auto* box = w.find<ErrorBox>("processError");
    screenshot(*box, "error");
    box->findChild<QPushButton*>("dismiss")->click();
    EXPECT_FALSE(w.view->process().errorInfo());

    const std::string clip =
        w.path(
             "a rather long name for a clip of people walking along a street on a grey "
             "afternoon in the old town, filmed from a window.mp4")
            .toStdString();
    ASSERT_TRUE(test::makeMovieWithSound(clip));
    drop(view, {QString::fromStdString(clip), w.path("b.mp4")});
    ASSERT_TRUE(runMainLoopUntil([&] { return w.view->process().previewImage().has_value(); }, 60));
    EXPECT_EQ(w.view->process().inputURL(), fs::path(clip));
    EXPECT_TRUE(w.find<QLabel>("fileName")->text().contains("…"));  // shortened in the middle
    screenshot(*w.view, "process-loaded");

    w.find<QPushButton>("export")->click();
    EXPECT_TRUE(w.view->process().isProcessing());
    EXPECT_FALSE(w.view->modeSwitch()->isEnabled());
    EXPECT_FALSE(w.find<SettingsPanel>("settingsPanel")->isEnabled());
    screenshot(*w.view, "process-exporting");
    drop(view, {w.path("notes.mp4")});  // ignored while exporting
    ASSERT_TRUE(runMainLoopUntil([&] { return !w.view->process().isProcessing(); }, 120));
    EXPECT_EQ(w.view->process().inputURL(), fs::path(clip));
    EXPECT_TRUE(w.find<QWidget>("saved")->isVisibleTo(w.view.get()));
    screenshot(*w.view, "process-done");
}

}  // namespace
}  // namespace pelliqo
