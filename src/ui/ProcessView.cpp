#include "ui/ProcessView.h"

#include <QDragEnterEvent>
#include <QFileDialog>
#include <QFileInfo>
#include <QFontDatabase>
#include <QHBoxLayout>
#include <QLabel>
#include <QMimeData>
#include <QPainter>
#include <QProgressBar>
#include <QPushButton>
#include <QShortcut>
#include <QSlider>
#include <QStackedWidget>
#include <QStyle>
#include <QVBoxLayout>
#include <cmath>

#include "engine/MovieFormat.h"
#include "engine/OutputNaming.h"
#include "process/ProcessModel.h"
#include "ui/ErrorBox.h"
#include "ui/FileFilter.h"
#include "ui/PreviewImageView.h"
#include "ui/ScreenParts.h"
#include "ui/SettingsPanel.h"

namespace pelliqo {

namespace {

// The scrubber moves in milliseconds.
constexpr double scrubberUnit = 1000;

std::optional<QString> openVideoPanel(QWidget* parent) {
    const QString file = QFileDialog::getOpenFileName(
        parent, QObject::tr("Open a video"), {},
        fileFilter(QObject::tr("Videos"),
                   {"mp4", "mov", "m4v", "mkv", "webm", "avi", "mts", "m2ts", "ts", "mpg", "mpeg",
                    "vob", "mxf", "dv", "h264", "wmv", "flv", "3gp", "ogv"}) +
            QStringLiteral(";;") + QObject::tr("All files (*)"));
    if (file.isEmpty()) return std::nullopt;
    return file;
}

}  // namespace

DropZone::DropZone(QPushButton* open, QWidget* parent) : QWidget(parent) {
    setObjectName("dropZone");
    auto* column = new QVBoxLayout(this);
    column->setSpacing(12);
    column->addStretch(1);
    auto* icon = new QLabel;
    icon->setPixmap(style()->standardIcon(QStyle::SP_FileDialogDetailedView).pixmap(44, 44));
    column->addWidget(icon, 0, Qt::AlignHCenter);
    auto* title = new QLabel(tr("Drop a video file here"));
    QFont larger = title->font();
    larger.setPointSizeF(larger.pointSizeF() * 1.4);
    title->setFont(larger);
    column->addWidget(title, 0, Qt::AlignHCenter);
    column->addWidget(open, 0, Qt::AlignHCenter);
    column->addWidget(captionLabel(tr("Everything stays on this computer."), false), 0,
                      Qt::AlignHCenter);
    column->addStretch(1);
}

void DropZone::setTargeted(bool targeted) {
    if (targeted == targeted_) return;
    targeted_ = targeted;
    update();
}

void DropZone::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    QPen pen(targeted_ ? palette().color(QPalette::Highlight) : QColor(128, 128, 128, 128), 2);
    pen.setDashPattern({4, 4});  // 8-point dashes and gaps, in units of the 2-point width
    painter.setPen(pen);
    painter.drawRoundedRect(QRectF(rect()).adjusted(1, 1, -1, -1), 10, 10);
}

ProcessView::ProcessView(ProcessModel& model, PresetStore& presets, QWidget* parent)
    : QWidget(parent), model_(model) {
    setObjectName("processView");
    setAcceptDrops(true);
    chooseFile_ = [this] { return openVideoPanel(this); };
    settings_ = new SettingsPanel(presets, false,
                                  [this](const EffectSettings& s) { model_.setSettings(s); });
    QVBoxLayout* left = splitScreen(this, settings_);
    error_ = new ErrorBox([this] { model_.setErrorInfo(std::nullopt); });
    error_->setObjectName("processError");
    left->addWidget(error_);
    pages_ = new QStackedWidget;
    auto* open = new QPushButton(tr("Open…"));
    open->setObjectName("open");
    connect(open, &QPushButton::clicked, this, &ProcessView::openFile);
    dropZone_ = new DropZone(open);
    pages_->addWidget(dropZone_);
    pages_->addWidget(loadedPage());
    left->addWidget(pages_, 1);

    for (auto signal : {&ProcessModel::settingsChanged, &ProcessModel::inputURLChanged,
                        &ProcessModel::infoChanged, &ProcessModel::durationChanged,
                        &ProcessModel::playheadChanged, &ProcessModel::isProcessingChanged,
                        &ProcessModel::progressChanged, &ProcessModel::etaTextChanged,
                        &ProcessModel::outputURLChanged, &ProcessModel::errorInfoChanged}) {
        connect(&model_, signal, this, &ProcessView::refresh);
    }
    // Progress changes often during an export; the picture and the panel only when theirs do.
    connect(&model_, &ProcessModel::previewImageChanged, this,
            [this] { preview_->setImage(model_.previewImage()); });
    connect(&model_, &ProcessModel::settingsChanged, this,
            [this] { settings_->setSettings(model_.settings()); });
    preview_->setImage(model_.previewImage());
    settings_->setSettings(model_.settings());
    auto* enter = new QShortcut(QKeySequence(Qt::Key_Return), this);
    connect(enter, &QShortcut::activated, this, [this] {
        if (export_->isVisible() && export_->isEnabled()) export_->click();
    });
    refresh();
}

QWidget* ProcessView::loadedPage() {
    auto* page = new QWidget;
    auto* column = new QVBoxLayout(page);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(10);
    preview_ = new PreviewImageView;
    preview_->setObjectName("filePreview");
    preview_->setPlaceholder(tr("Preparing the preview…"));
    column->addWidget(preview_, 1);

    auto* scrub = new QVBoxLayout;
    scrub->setSpacing(4);
    auto* facts = new QHBoxLayout;
    name_ = new QLabel;
    name_->setObjectName("fileName");
    name_->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    info_ = captionLabel({}, false);
    info_->setObjectName("fileInfo");
    facts->addWidget(name_, 1);
    facts->addWidget(info_);
    scrub->addLayout(facts);
    auto* line = new QHBoxLayout;
    line->addWidget(captionLabel(tr("Preview"), false));
    scrubber_ = new QSlider(Qt::Horizontal);
    scrubber_->setObjectName("scrubber");
    line->addWidget(scrubber_, 1);
    times_ = captionLabel({}, false);
    times_->setObjectName("times");
    times_->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    line->addWidget(times_);
    scrub->addLayout(line);
    column->addLayout(scrub);
    connect(scrubber_, &QSlider::valueChanged, this,
            [this](int value) { model_.setPlayhead(value / scrubberUnit); });
    column->addWidget(exportRow());
    return page;
}

QWidget* ProcessView::exportRow() {
    exportRows_ = new QStackedWidget;
    exportRows_->setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Maximum);

    auto* busy = new QWidget;
    auto* busyColumn = new QVBoxLayout(busy);
    busyColumn->setContentsMargins(0, 0, 0, 0);
    busyColumn->setSpacing(8);
    progress_ = new QProgressBar;
    progress_->setObjectName("progress");
    progress_->setRange(0, 1000);
    progress_->setTextVisible(false);
    busyColumn->addWidget(progress_);
    auto* busyLine = new QHBoxLayout;
    percent_ = new QLabel;
    percent_->setObjectName("percent");
    percent_->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    auto* cancel = new QPushButton(tr("Cancel"));
    cancel->setObjectName("cancel");
    busyLine->addWidget(percent_);
    busyLine->addStretch(1);
    busyLine->addWidget(cancel);
    busyColumn->addLayout(busyLine);
    connect(cancel, &QPushButton::clicked, this, [this] { model_.cancel(); });

    auto* idle = new QWidget;
    auto* idleLine = new QHBoxLayout(idle);
    idleLine->setContentsMargins(0, 0, 0, 0);
    auto* another = new QPushButton(tr("Open another…"));
    another->setObjectName("openAnother");
    connect(another, &QPushButton::clicked, this, &ProcessView::openFile);
    idleLine->addWidget(another);
    saved_ = new QWidget;
    saved_->setObjectName("saved");
    auto* savedLine = new QHBoxLayout(saved_);
    savedLine->setContentsMargins(0, 0, 0, 0);
    auto* check = new QLabel;
    check->setPixmap(style()->standardIcon(QStyle::SP_DialogApplyButton).pixmap(16, 16));
    auto* show = new QPushButton(tr("Show in Folder"));
    show->setObjectName("showInFolder");
    connect(show, &QPushButton::clicked, this, [this] { model_.showInFinder(); });
    savedLine->addWidget(check);
    savedLine->addWidget(new QLabel(tr("Saved")));
    savedLine->addWidget(show);
    idleLine->addWidget(saved_);
    eta_ = captionLabel({}, false);
    eta_->setObjectName("status");
    idleLine->addWidget(eta_);
    idleLine->addStretch(1);
    export_ = new QPushButton(tr("Process and export…"));
    export_->setObjectName("export");
    export_->setDefault(true);
    connect(export_, &QPushButton::clicked, this, [this] { model_.exportVideo(); });
    idleLine->addWidget(export_);

    exportRows_->addWidget(idle);
    exportRows_->addWidget(busy);
    return exportRows_;
}

void ProcessView::openFile() {
    if (const auto file = chooseFile_ ? chooseFile_() : std::nullopt)
        model_.load(file->toStdString());
}

void ProcessView::dragEnterEvent(QDragEnterEvent* event) {
    if (!event->mimeData()->hasUrls()) return event->ignore();
    setTargeted(true);
    event->acceptProposedAction();
}

void ProcessView::dragLeaveEvent(QDragLeaveEvent*) {
    setTargeted(false);
}

void ProcessView::dropEvent(QDropEvent* event) {
    setTargeted(false);
    const QList<QUrl> urls = event->mimeData()->urls();
    if (urls.isEmpty()) return event->ignore();
    event->acceptProposedAction();
    // Only the first file counts; nothing replaces the video while it is being exported.
    const QUrl first = urls.front();
    if (!first.isLocalFile() || model_.isProcessing()) return;
    model_.load(first.toLocalFile().toStdString());
}

void ProcessView::setTargeted(bool targeted) {
    targeted_ = targeted;
    dropZone_->setTargeted(targeted);
}

QString ProcessView::progressText(double progress, const QString& eta) {
    const long long percent = static_cast<long long>(progress * 100);
    return QString::number(percent) + QStringLiteral("% · ") + eta;
}

double ProcessView::scrubberEnd(double duration) {
    return duration <= 0.1 ? 0.1 : duration;
}

void ProcessView::refresh() {
    error_->setInfo(model_.errorInfo());
    const auto& input = model_.inputURL();
    pages_->setCurrentIndex(input ? 1 : 0);
    const bool busy = model_.isProcessing();
    preview_->setTransparent(movieFormat(model_.settings().kind).hasAlpha);
    const QString name = input ? QString::fromStdString(input->filename().string()) : QString();
    name_->setText(
        name_->fontMetrics().elidedText(name, Qt::ElideMiddle, std::max(80, name_->width())));
    name_->setToolTip(name);
    info_->setText(QString::fromStdString(model_.info()));
    {
        const QSignalBlocker quiet(scrubber_);
        scrubber_->setRange(
            0, static_cast<int>(std::lround(scrubberEnd(model_.duration()) * scrubberUnit)));
        scrubber_->setValue(static_cast<int>(std::lround(model_.playhead() * scrubberUnit)));
    }
    scrubber_->setEnabled(!busy);
    times_->setText(QString::fromStdString(formatTime(model_.playhead())) + " / " +
                    QString::fromStdString(formatTime(model_.duration())));
    exportRows_->setCurrentIndex(busy ? 1 : 0);
    progress_->setValue(static_cast<int>(model_.progress() * 1000));
    const QString eta = QString::fromStdString(model_.etaText());
    percent_->setText(progressText(model_.progress(), eta));
    saved_->setVisible(model_.outputURL().has_value());
    eta_->setVisible(!model_.outputURL() && !eta.isEmpty());
    eta_->setText(eta);
    settings_->setLockKind(busy);
    settings_->setEnabled(!busy);
}

}  // namespace pelliqo
