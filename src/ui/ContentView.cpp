#include "ui/ContentView.h"

#include <QApplication>
#include <QFrame>
#include <QIcon>
#include <QLabel>
#include <QTabBar>
#include <QTimer>
#include <QVBoxLayout>
#include <csignal>

#include "engine/PresetStore.h"
#include "live/PermissionCenter.h"
#include "live/RecordModel.h"
#include "platform/system/Interrupt.h"
#include "platform/system/UserDefaults.h"
#include "process/ProcessModel.h"
#include "ui/FileSavePanel.h"
#include "ui/FirstRunView.h"
#include "ui/ProcessView.h"
#include "ui/RecordView.h"
#include "ui/ScreenParts.h"

namespace pelliqo {

namespace {

QFrame* divider() {
    auto* line = new QFrame;
    line->setFrameShape(QFrame::HLine);
    line->setFrameShadow(QFrame::Sunken);
    return line;
}

}  // namespace

ContentParts ContentParts::system() {
    ContentParts parts;
    parts.defaults = openUserDefaults();
    parts.permissions = std::make_unique<PermissionCenter>();
    parts.record = std::make_unique<RecordModel>(makeCaptureBackend());
    parts.savePanel = std::make_unique<FileSavePanel>();
    parts.process = std::make_unique<ProcessModel>(*parts.savePanel);
    parts.presets = std::make_unique<PresetStore>(openUserDefaults());
    return parts;
}

ContentView::ContentView(ContentParts parts, QWidget* parent)
    : QWidget(parent), parts_(std::move(parts)) {
    setObjectName("contentView");
    setWindowTitle("Pelliqo");
    setMinimumSize(980, 660);
    if (auto* panel = dynamic_cast<FileSavePanel*>(parts_.savePanel.get())) panel->setParent(this);

    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(0);
    modeSwitch_ = new QTabBar;
    modeSwitch_->setObjectName("mode");
    modeSwitch_->setAccessibleName(tr("Mode"));
    modeSwitch_->addTab(tr("Record"));
    modeSwitch_->addTab(tr("Process a video"));
    modeSwitch_->setExpanding(true);
    modeSwitch_->setDrawBase(false);
    modeSwitch_->setFixedWidth(320);
    auto* switchRow = new QHBoxLayout;
    switchRow->setContentsMargins(8, 8, 8, 8);
    switchRow->addStretch(1);
    switchRow->addWidget(modeSwitch_);
    switchRow->addStretch(1);
    column->addLayout(switchRow);
    column->addWidget(divider());
    screenSlot_ = new QVBoxLayout;
    screenSlot_->setContentsMargins(0, 0, 0, 0);
    column->addLayout(screenSlot_, 1);
    column->addWidget(divider());
    QLabel* note =
        captionLabel(tr("Results depend on lighting and a plain, steady camera; hair "
                        "and fast hands can have rough edges. All processing happens on "
                        "this computer, with no network and no cloud."));
    note->setObjectName("note");
    note->setContentsMargins(8, 8, 8, 8);
    column->addWidget(note);

    // The camera for other apps is on again at launch if it was when the window closed.
    RecordModel& record = *parts_.record;
    record.setVirtualCamera(parts_.defaults->value(virtualCameraKey, false).toBool());
    connect(&record, &RecordModel::virtualCameraChanged, this, [this] {
        parts_.defaults->setValue(virtualCameraKey, parts_.record->virtualCamera());
        parts_.defaults->sync();
    });

    connect(modeSwitch_, &QTabBar::currentChanged, this, &ContentView::showScreen);
    connect(parts_.record.get(), &RecordModel::isRecordingChanged, this,
            &ContentView::refreshSwitch);
    connect(parts_.process.get(), &ProcessModel::isProcessingChanged, this,
            &ContentView::refreshSwitch);
    showScreen(0);

    if (!parts_.defaults->value(didSeeIntroKey, false).toBool()) {
        firstRun_ = new FirstRunView(
            *parts_.permissions,
            [this] {
                parts_.defaults->setValue(didSeeIntroKey, true);
                parts_.defaults->sync();
            },
            this);
        firstRun_->setWindowModality(Qt::WindowModal);
        connect(firstRun_, &QDialog::finished, firstRun_, &QObject::deleteLater);
    }
}

ContentView::~ContentView() {
    // A recording still running when the window closes is finished, not cut off: the
    // recorder completes its files before it goes.
    if (parts_.record->isRecording()) parts_.record->stopRecording();
    // The screens use the models; they go first.
    delete screen_;
    screen_ = nullptr;
}

FirstRunView* ContentView::firstRun() const {
    return firstRun_.data();
}

void ContentView::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    if (firstRun_ && !firstRun_->isVisible()) firstRun_->open();
}

void ContentView::showScreen(int tab) {
    // Only the shown screen exists: the record screen stops the camera when it goes.
    delete screen_;
    if (tab == 0)
        screen_ = new RecordView(*parts_.record, *parts_.permissions, *parts_.presets);
    else
        screen_ = new ProcessView(*parts_.process, *parts_.presets);
    screenSlot_->addWidget(screen_);
}

void ContentView::refreshSwitch() {
    modeSwitch_->setEnabled(!parts_.record->isRecording() && !parts_.process->isProcessing());
}

int runWindow(int& argc, char** argv) {
    QApplication app(argc, argv);
    QApplication::setApplicationName("Pelliqo");
    QApplication::setOrganizationName("Pelliqo");
    QApplication::setDesktopFileName("pelliqo");
    QApplication::setWindowIcon(QIcon::fromTheme("pelliqo"));
    // Ended from outside (a logout, `kill`, Ctrl-C in its terminal), the window goes as a
    // closed one does: a recording is finished and saved first. Not by quit(), which a sheet
    // that only its buttons close would refuse.
    const InterruptGuard guard;
    // A write to a pipe whose reader went away (a named pipe chosen as an export's file) fails
    // with an error to report; by default it would end the whole window without a word.
    std::signal(SIGPIPE, SIG_IGN);
    QTimer ending;
    QObject::connect(&ending, &QTimer::timeout, [] {
        if (InterruptGuard::interrupted()) QApplication::exit(0);
    });
    ending.start(100);
    ContentView window(ContentParts::system());
    window.resize(1100, 720);
    window.show();
    return QApplication::exec();
}

}  // namespace pelliqo
