#include "ui/RecordView.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFontDatabase>
#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QPainterPath>
#include <QPointer>
#include <QPushButton>
#include <QShortcut>
#include <QStackedWidget>
#include <QStyle>
#include <QVBoxLayout>

#include "engine/MovieFormat.h"
#include "engine/OutputNaming.h"
#include "live/PermissionCenter.h"
#include "live/RecordModel.h"
#include "ui/ErrorBox.h"
#include "ui/PermissionNotice.h"
#include "ui/PreviewImageView.h"
#include "ui/ScreenParts.h"
#include "ui/SettingsPanel.h"

namespace pelliqo {

namespace {

bool allowed(Authorization a) {
    return a == Authorization::authorized;
}

// A centred prompt in place of the preview: an icon, texts and one button.
QWidget* prompt(QStyle* style, QStyle::StandardPixmap icon, const QStringList& texts,
                QPushButton* button) {
    auto* page = new QWidget;
    auto* column = new QVBoxLayout(page);
    column->setSpacing(12);
    column->addStretch(1);
    auto* picture = new QLabel;
    picture->setPixmap(style->standardIcon(icon).pixmap(40, 40));
    column->addWidget(picture, 0, Qt::AlignHCenter);
    for (int i = 0; i < texts.size(); ++i) {
        QLabel* label = i == 0 ? new QLabel(texts[i]) : secondaryLabel(texts[i]);
        label->setAlignment(Qt::AlignHCenter);
        label->setWordWrap(true);
        column->addWidget(label);
    }
    column->addWidget(button, 0, Qt::AlignHCenter);
    column->addStretch(1);
    return page;
}

void fill(QComboBox* box, const std::vector<DeviceInfo>& devices, const std::string& selected) {
    const QSignalBlocker quiet(box);
    box->clear();
    for (const DeviceInfo& d : devices)
        box->addItem(QString::fromStdString(d.name), QString::fromStdString(d.id));
    box->setCurrentIndex(box->findData(QString::fromStdString(selected)));
}

}  // namespace

LevelMeter::LevelMeter(QWidget* parent) : QWidget(parent) {
    setFixedSize(90, 8);
}

void LevelMeter::setLevel(float level) {
    if (level == level_) return;
    level_ = level;
    update();
}

void LevelMeter::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(Qt::NoPen);
    painter.setBrush(QColor(128, 128, 128, 64));
    painter.drawRoundedRect(rect(), 3, 3);
    painter.setBrush(QColor(52, 199, 89));
    painter.drawRoundedRect(QRectF(0, 0, width() * static_cast<double>(level_), height()), 3, 3);
}

RecordView::RecordView(RecordModel& model, PermissionCenter& permissions, PresetStore& presets,
                       QWidget* parent)
    : QWidget(parent), model_(model), camera_(model.camera()), permissions_(permissions) {
    setObjectName("recordView");
    settings_ = new SettingsPanel(presets, true,
                                  [this](const EffectSettings& s) { model_.setSettings(s); });
    QVBoxLayout* left = splitScreen(this, settings_);
    modelError_ = new ErrorBox([this] { model_.setErrorInfo(std::nullopt); });
    modelError_->setObjectName("recordError");
    cameraProblem_ = new ErrorBox([this] { camera_.clearProblem(); });
    cameraProblem_->setObjectName("cameraProblem");
    micProblem_ = new ErrorBox([this] { camera_.clearMicProblem(); });
    micProblem_->setObjectName("micProblem");
    left->addWidget(modelError_);
    left->addWidget(cameraProblem_);
    left->addWidget(micProblem_);
    left->addWidget(cameraArea(), 1);
    controls_ = controls();
    left->addWidget(controls_);

    connectModels();
    refreshDevices();
    settings_->setSettings(model_.settings());
    settings_->setFps(model_.fps());
    refresh();
    permissions_.refresh();
    if (allowed(permissions_.camera())) camera_.start();
}

RecordView::~RecordView() {
    if (!model_.isRecording()) camera_.stop();
}

QWidget* RecordView::cameraArea() {
    cameraArea_ = new QStackedWidget;
    cameraArea_->setObjectName("cameraArea");
    auto* allow = new QPushButton(tr("Allow camera"));
    allow->setObjectName("allowCamera");
    // Once allowed, the permission change starts the camera (see connectModels).
    connect(allow, &QPushButton::clicked, this, [this] { permissions_.requestCamera(); });
    auto* open = new QPushButton(tr("Open Settings"));
    connect(open, &QPushButton::clicked, [] { PermissionCenter::openSettings("Camera"); });
    cameraArea_->addWidget(prompt(style(), QStyle::SP_ComputerIcon,
                                  {tr("Pelliqo needs the camera to show the live preview.")},
                                  allow));
    cameraArea_->addWidget(prompt(style(), QStyle::SP_MessageBoxWarning,
                                  {tr("Camera access is turned off for Pelliqo."),
                                   tr("Turn it on in Settings, then come back. You can still use "
                                      "\"Process a video\".")},
                                  open));
    preview_ = new PreviewImageView;
    preview_->setObjectName("livePreview");
    cameraArea_->addWidget(preview_);
    return cameraArea_;
}

QWidget* RecordView::controls() {
    auto* box = new QWidget;
    auto* column = new QVBoxLayout(box);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(8);

    auto* first = new QHBoxLayout;
    record_ = new QPushButton;
    record_->setObjectName("record");
    clock_ = new QLabel;
    clock_->setObjectName("clock");
    QFont digits = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    clock_->setFont(digits);
    clock_->setStyleSheet("color: red;");
    format_ = secondaryLabel({});
    format_->setObjectName("saveFormat");
    first->addWidget(record_);
    first->addWidget(clock_);
    first->addStretch(1);
    first->addWidget(format_);
    column->addLayout(first);
    connect(record_, &QPushButton::clicked, this, &RecordView::toggleRecording);
    auto* enter = new QShortcut(QKeySequence(Qt::Key_Return), this);
    connect(enter, &QShortcut::activated, this, [this] {
        if (record_->isVisible() && record_->isEnabled()) record_->click();
    });

    auto* second = new QHBoxLayout;
    cameras_ = new QComboBox;
    cameras_->setObjectName("cameraPicker");
    cameras_->setMaximumWidth(260);
    microphones_ = new QComboBox;
    microphones_->setObjectName("microphonePicker");
    microphones_->setMaximumWidth(280);
    second->addWidget(new QLabel(tr("Camera")));
    second->addWidget(cameras_, 1);
    second->addWidget(new QLabel(tr("Microphone")));
    second->addWidget(microphones_, 1);
    second->addStretch(1);
    column->addLayout(second);
    column->addLayout(virtualCameraRow());
    connect(cameras_, &QComboBox::activated, this, [this](int index) {
        camera_.setSelectedCameraID(cameras_->itemData(index).toString().toStdString());
        // Chosen again, a camera that stopped or was held by another app is tried again.
        if (!allowed(permissions_.camera())) return;
        if (camera_.isRunning()) {
            camera_.reconfigure();
        } else {
            camera_.start();
        }
    });
    connect(microphones_, &QComboBox::activated, this, [this](int index) {
        camera_.setSelectedMicID(microphones_->itemData(index).toString().toStdString());
        if (allowed(permissions_.camera()) && camera_.isRunning() && !model_.isRecording())
            camera_.reconfigure();
    });

    auto* third = new QHBoxLayout;
    third->addWidget(microphoneControls());
    mirrorPreview_ = new QCheckBox(tr("Mirror preview"));
    mirrorPreview_->setObjectName("mirrorPreview");
    mirrorRecording_ = new QCheckBox(tr("Mirror the recording"));
    mirrorRecording_->setObjectName("mirrorRecording");
    keepOriginal_ = new QCheckBox(tr("Keep the original"));
    keepOriginal_->setObjectName("keepOriginal");
    keepOriginal_->setToolTip(
        tr("Also saves the unprocessed take, so you can process it again "
           "later with a better setting."));
    third->addWidget(mirrorPreview_);
    third->addWidget(mirrorRecording_);
    third->addWidget(keepOriginal_);
    third->addStretch(1);
    column->addLayout(third);
    connect(mirrorPreview_, &QCheckBox::toggled, this,
            [this](bool on) { model_.setMirrorPreview(on); });
    connect(mirrorRecording_, &QCheckBox::toggled, this,
            [this](bool on) { model_.setMirrorRecording(on); });
    connect(keepOriginal_, &QCheckBox::toggled, this,
            [this](bool on) { model_.setKeepOriginal(on); });

    micNotice_ = new PermissionNotice(
        tr("Microphone access is off, so recordings will have no sound."), "Microphone");
    column->addWidget(micNotice_);
    column->addWidget(savedRow());
    return box;
}

QHBoxLayout* RecordView::virtualCameraRow() {
    auto* row = new QHBoxLayout;
    virtualCamera_ = new QCheckBox(tr("Use as camera in other apps"));
    virtualCamera_->setObjectName("virtualCamera");
    virtualCamera_->setToolTip(tr("Video calls and browsers can pick \"%1\" as their camera.")
                                   .arg(QLatin1StringView(cameraOutputName)));
    const QString unavailable = QString::fromStdString(model_.virtualCameraUnavailable());
    auto* reason = captionLabel(unavailable, false);
    reason->setObjectName("virtualCameraUnavailable");
    reason->setVisible(!unavailable.isEmpty());
    row->addWidget(virtualCamera_);
    row->addWidget(reason);
    row->addStretch(1);
    connect(virtualCamera_, &QCheckBox::toggled, this,
            [this](bool on) { model_.setVirtualCamera(on); });
    return row;
}

QWidget* RecordView::microphoneControls() {
    micControls_ = new QStackedWidget;
    micControls_->setObjectName("microphoneControls");
    auto* allow = new QPushButton(tr("Allow microphone"));
    allow->setObjectName("allowMicrophone");
    connect(allow, &QPushButton::clicked, this, [this] {
        permissions_.requestMic([self = QPointer<RecordView>(this)] {
            if (self && self->camera_.isRunning()) self->camera_.reconfigure();
        });
    });
    micControls_->addWidget(allow);
    micControls_->addWidget(secondaryLabel(tr("Microphone off")));
    auto* on = new QWidget;
    auto* line = new QHBoxLayout(on);
    line->setContentsMargins(0, 0, 0, 0);
    micOn_ = new QCheckBox(tr("Microphone"));
    micOn_->setObjectName("micOn");
    meter_ = new LevelMeter;
    meter_->setObjectName("level");
    line->addWidget(micOn_);
    line->addWidget(meter_);
    micControls_->addWidget(on);
    connect(micOn_, &QCheckBox::toggled, this, [this](bool enabled) { model_.setMicOn(enabled); });
    return micControls_;
}

QWidget* RecordView::savedRow() {
    savedRow_ = new QWidget;
    savedRow_->setObjectName("savedRow");
    auto* line = new QHBoxLayout(savedRow_);
    line->setContentsMargins(0, 0, 0, 0);
    auto* check = new QLabel;
    check->setPixmap(style()->standardIcon(QStyle::SP_DialogApplyButton).pixmap(16, 16));
    savedLabel_ = new QLabel;
    savedLabel_->setObjectName("savedText");
    savedLabel_->setWordWrap(true);
    savedLabel_->setMaximumHeight(savedLabel_->fontMetrics().lineSpacing() * 2 + 2);
    auto* show = new QPushButton(tr("Show in Folder"));
    show->setObjectName("showInFolder");
    line->addWidget(check);
    line->addWidget(savedLabel_, 1);
    line->addWidget(show);
    connect(show, &QPushButton::clicked, this, [this] { model_.showInFinder(); });
    return savedRow_;
}

void RecordView::connectModels() {
    for (auto signal : {&RecordModel::settingsChanged, &RecordModel::isRecordingChanged,
                        &RecordModel::elapsedChanged, &RecordModel::savedURLsChanged,
                        &RecordModel::errorInfoChanged, &RecordModel::mirrorPreviewChanged,
                        &RecordModel::mirrorRecordingChanged, &RecordModel::keepOriginalChanged,
                        &RecordModel::micOnChanged, &RecordModel::virtualCameraChanged}) {
        connect(&model_, signal, this, &RecordView::refresh);
    }
    // The preview and the rate change many times a second: only their own widgets follow.
    connect(&model_, &RecordModel::previewImageChanged, this, &RecordView::refreshPreview);
    connect(&model_, &RecordModel::fpsChanged, this, [this] { settings_->setFps(model_.fps()); });
    connect(&model_, &RecordModel::settingsChanged, this,
            [this] { settings_->setSettings(model_.settings()); });
    for (auto signal : {&CameraSource::isRunningChanged, &CameraSource::problemChanged,
                        &CameraSource::micProblemChanged})
        connect(&camera_, signal, this, &RecordView::refresh);
    for (auto signal :
         {&CameraSource::camerasChanged, &CameraSource::microphonesChanged,
          &CameraSource::selectedCameraIDChanged, &CameraSource::selectedMicIDChanged})
        connect(&camera_, signal, this, &RecordView::refreshDevices);
    connect(&camera_, &CameraSource::levelChanged, this,
            [this] { meter_->setLevel(model_.micOn() ? camera_.level() : 0.0f); });
    connect(&permissions_, &PermissionCenter::cameraChanged, this, [this] {
        // Allowed from anywhere (the first-run sheet too): the preview starts at once.
        if (allowed(permissions_.camera()) && !camera_.isRunning()) camera_.start();
        refresh();
    });
    connect(&permissions_, &PermissionCenter::micChanged, this, &RecordView::refresh);
}

void RecordView::refreshDevices() {
    fill(cameras_, camera_.cameras(), camera_.selectedCameraID());
    fill(microphones_, camera_.microphones(), camera_.selectedMicID());
}

void RecordView::refresh() {
    const bool recording = model_.isRecording();
    const MovieFormat format = movieFormat(model_.settings().kind);
    modelError_->setInfo(model_.errorInfo());
    cameraProblem_->setInfo(camera_.problem());
    micProblem_->setInfo(camera_.micProblem());

    const Authorization cameraAccess = permissions_.camera();
    cameraArea_->setCurrentIndex(allowed(cameraAccess)                          ? 2
                                 : cameraAccess == Authorization::notDetermined ? 0
                                                                                : 1);
    controls_->setVisible(allowed(cameraAccess));
    preview_->setTransparent(format.hasAlpha);
    preview_->setPlaceholder(camera_.isRunning() ? tr("Waiting for the first frame…")
                                                 : tr("Starting the camera…"));

    record_->setText(recording ? tr("Stop") : tr("Record"));
    record_->setIcon(
        style()->standardIcon(recording ? QStyle::SP_MediaStop : QStyle::SP_DialogYesButton));
    clock_->setVisible(recording);
    clock_->setText(QStringLiteral("● ") + QString::fromStdString(formatTime(model_.elapsed())));
    format_->setText(
        tr("Saves %1 (.%2)")
            .arg(QLatin1StringView(format.codecName), QLatin1StringView(format.extension)));

    const Authorization micAccess = permissions_.mic();
    cameras_->setEnabled(!recording);
    microphones_->setEnabled(!recording && allowed(micAccess));
    micControls_->setCurrentIndex(allowed(micAccess)                          ? 2
                                  : micAccess == Authorization::notDetermined ? 0
                                                                              : 1);
    micNotice_->setVisible(micAccess == Authorization::denied);
    const auto check = [](QCheckBox* box, bool on, bool enabled) {
        const QSignalBlocker quiet(box);
        box->setChecked(on);
        box->setEnabled(enabled);
    };
    check(micOn_, model_.micOn(), !recording);
    check(mirrorPreview_, model_.mirrorPreview(), true);
    check(mirrorRecording_, model_.mirrorRecording(), !recording);
    check(keepOriginal_, model_.keepOriginal(), !recording);
    check(virtualCamera_, model_.virtualCamera(), model_.virtualCameraUnavailable().empty());
    meter_->setLevel(model_.micOn() ? camera_.level() : 0.0f);

    savedRow_->setVisible(!model_.savedURLs().empty());
    savedLabel_->setText(savedText(model_.savedURLs()));
    settings_->setLockKind(recording);
    refreshPreview();
}

void RecordView::refreshPreview() {
    preview_->setImage(model_.previewImage());
    record_->setEnabled(model_.isRecording() || model_.previewImage().has_value());
}

void RecordView::toggleRecording() {
    if (model_.isRecording())
        model_.stopRecording();
    else
        model_.startRecording();
}

QString RecordView::savedText(const std::vector<std::filesystem::path>& files) {
    QStringList names;
    for (const auto& file : files) names << QString::fromStdString(file.filename().string());
    return tr("Saved ") + names.join(tr(" and "));
}

}  // namespace pelliqo
