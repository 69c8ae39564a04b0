#include "ui/SettingsPanel.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QColorDialog>
#include <QComboBox>
#include <QCoreApplication>
#include <QFileDialog>
#include <QFileInfo>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QSignalBlocker>
#include <QSlider>
#include <QToolButton>
#include <QVBoxLayout>

#include "engine/EffectParameters.h"
#include "engine/MovieFormat.h"
#include "engine/PresetStore.h"
#include "engine/RawValue.h"
#include "platform/inference/ModelDirectory.h"
#include "platform/inference/SegmentationEngine.h"
#include "ui/FileFilter.h"
#include "ui/ScreenParts.h"

namespace pelliqo {

namespace {

QString translated(const char* text) {
    return QCoreApplication::translate("EffectParameters", text);
}

// A choice's label, from the parameter table.
template <class E>
QString choiceLabel(E EffectSettings::*field, E value) {
    return translated(effectParameter(field).choiceLabels[static_cast<std::size_t>(value)]);
}

}  // namespace

QString label(BackgroundKind kind) {
    return choiceLabel(&EffectSettings::kind, kind);
}

QString label(QualityChoice quality) {
    return choiceLabel(&EffectSettings::quality, quality);
}

QString label(PictureFit fit) {
    return choiceLabel(&EffectSettings::pictureFit, fit);
}

namespace {

// Continuous sliders: a thousand steps over the range.
constexpr int sliderSteps = 1000;

// The panel's name for a parameter.
QString labelOf(EffectField field) {
    return translated(effectParameter(field).label);
}

double valueOf(const QSlider* control, double EffectSettings::*field) {
    const EffectParameter& range = effectParameter(field);
    return range.low + (range.high - range.low) * control->value() / sliderSteps;
}

void setValue(QSlider* control, double EffectSettings::*field, double value) {
    const EffectParameter& range = effectParameter(field);
    const QSignalBlocker quiet(control);
    control->setValue(static_cast<int>(
        std::lround((value - range.low) / (range.high - range.low) * sliderSteps)));
}

QWidget* row(const QString& text, QWidget* control) {
    auto* line = new QWidget;
    auto* layout = new QHBoxLayout(line);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(new QLabel(text));
    layout->addWidget(control, 1);
    return line;
}

QGroupBox* group(const QString& title, QVBoxLayout*& column) {
    auto* box = new QGroupBox(title);
    column = new QVBoxLayout(box);
    column->setContentsMargins(4, 4, 4, 4);
    column->setSpacing(8);
    return box;
}

// Checkable buttons side by side standing for a segmented control.
template <class E>
QButtonGroup* segments(QHBoxLayout* layout, const QString& accessibleName) {
    auto* buttons = new QButtonGroup(layout);
    buttons->setExclusive(true);
    for (E value : allCases<E>()) {
        auto* button = new QPushButton(label(value));
        button->setCheckable(true);
        button->setAccessibleName(accessibleName + " " + label(value));
        buttons->addButton(button, static_cast<int>(value));
        layout->addWidget(button);
    }
    return buttons;
}

std::optional<QString> openImagePanel(QWidget* parent) {
    const QString file = QFileDialog::getOpenFileName(
        parent, QObject::tr("Choose image"), {},
        fileFilter(QObject::tr("Images"),
                   {"png", "jpg", "jpeg", "heic", "heif", "bmp", "webp", "tif", "tiff"}));
    if (file.isEmpty()) return std::nullopt;
    return file;
}

}  // namespace

SettingsPanel::SettingsPanel(PresetStore& presets, bool live, Edit edit, QWidget* parent)
    : QScrollArea(parent), presets_(presets), edit_(std::move(edit)) {
    setObjectName("settingsPanel");
    chooseImage_ = [this] { return openImagePanel(this); };
    build(live);
    connect(&presets_, &PresetStore::presetsChanged, this, &SettingsPanel::rebuildPresetsMenu);
    rebuildPresetsMenu();
    refresh();
}

void SettingsPanel::build(bool live) {
    setWidgetResizable(true);
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setFixedWidth(320);
    auto* content = new QWidget;
    auto* column = new QVBoxLayout(content);
    column->setContentsMargins(12, 12, 12, 12);
    column->setSpacing(14);

    auto* bar = new QHBoxLayout;
    presetsButton_ = new QToolButton;
    presetsButton_->setObjectName("presets");
    presetsButton_->setText(tr("Presets"));
    presetsButton_->setPopupMode(QToolButton::InstantPopup);
    presetsMenu_ = new QMenu(presetsButton_);
    presetsButton_->setMenu(presetsMenu_);
    bar->addWidget(presetsButton_);
    bar->addStretch(1);
    column->addLayout(bar);
    column->addWidget(backgroundGroup(live));
    column->addWidget(qualityGroup(live));
    column->addWidget(edgeGroup());
    column->addStretch(1);
    setWidget(content);
}

QWidget* SettingsPanel::backgroundGroup(bool live) {
    QVBoxLayout* column = nullptr;
    QGroupBox* box = group(labelOf(&EffectSettings::kind), column);
    kind_ = new QComboBox;
    kind_->setObjectName("kind");
    kind_->setAccessibleName(labelOf(&EffectSettings::kind));
    for (BackgroundKind k : allCases<BackgroundKind>())
        kind_->addItem(label(k), static_cast<int>(k));
    column->addWidget(kind_);
    connect(kind_, &QComboBox::activated, this, [this](int index) {
        change([&](EffectSettings& s) {
            s.kind = static_cast<BackgroundKind>(kind_->itemData(index).toInt());
        });
    });

    noneNote_ = captionLabel(tr("The picture is left as it is."));
    column->addWidget(noneNote_);

    strengthRow_ = numberRow(&EffectSettings::blurStrength, "strength");
    column->addWidget(strengthRow_);

    color_ = new QPushButton;
    color_->setObjectName("color");
    colorRow_ = row(labelOf(&EffectSettings::red), color_);
    column->addWidget(colorRow_);
    connect(color_, &QPushButton::clicked, this, [this] {
        const Color c = settings_.color();
        const QColor chosen = QColorDialog::getColor(
            QColor::fromRgbF(static_cast<float>(c.red), static_cast<float>(c.green),
                             static_cast<float>(c.blue)),
            this, tr("Color"));
        if (!chosen.isValid()) return;
        change([&](EffectSettings& s) {
            s.setColor(Color{chosen.redF(), chosen.greenF(), chosen.blueF(), 1.0});
        });
    });

    pictureRow_ = new QWidget;
    auto* pictureLine = new QHBoxLayout(pictureRow_);
    pictureLine->setContentsMargins(0, 0, 0, 0);
    auto* choose = new QPushButton(tr("Choose image…"));
    choose->setObjectName("chooseImage");
    pictureName_ = new QLabel;
    pictureName_->setObjectName("pictureName");
    pictureName_->setForegroundRole(QPalette::PlaceholderText);
    pictureName_->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    pictureLine->addWidget(choose);
    pictureLine->addWidget(pictureName_, 1);
    column->addWidget(pictureRow_);
    connect(choose, &QPushButton::clicked, this, [this] {
        const auto file = chooseImage_ ? chooseImage_() : std::nullopt;
        if (!file) return;
        change([&](EffectSettings& s) { s.picturePath = file->toStdString(); });
    });

    placementRow_ = new QWidget;
    auto* placementLine = new QHBoxLayout(placementRow_);
    placementLine->setContentsMargins(0, 0, 0, 0);
    placementLine->addWidget(new QLabel(labelOf(&EffectSettings::pictureFit)));
    placement_ = segments<PictureFit>(placementLine, labelOf(&EffectSettings::pictureFit));
    placementLine->addStretch(1);
    column->addWidget(placementRow_);
    connect(placement_, &QButtonGroup::idClicked, this, [this](int id) {
        change([&](EffectSettings& s) { s.pictureFit = static_cast<PictureFit>(id); });
    });

    transparentNote_ =
        captionLabel(live ? tr("Shown on a checkerboard. Saved as ProRes 4444 with alpha (.mov).")
                          : tr("Saved as ProRes 4444 with alpha (.mov). Many editors "
                               "read it; some players show black."));
    transparentNote_->setObjectName("transparentNote");
    column->addWidget(transparentNote_);
    return box;
}

QWidget* SettingsPanel::qualityGroup(bool live) {
    QVBoxLayout* column = nullptr;
    QGroupBox* box = group(labelOf(&EffectSettings::quality), column);
    auto* line = new QHBoxLayout;
    quality_ = segments<QualityChoice>(line, labelOf(&EffectSettings::quality));
    line->addStretch(1);
    column->addLayout(line);
    connect(quality_, &QButtonGroup::idClicked, this, [this](int id) {
        change([&](EffectSettings& s) { s.quality = static_cast<QualityChoice>(id); });
    });
    if (live) {
        fpsLabel_ = new QLabel;
        fpsLabel_->setObjectName("fps");
        column->addWidget(fpsLabel_);
        column->addWidget(captionLabel(tr("If the preview is slow, choose Fast.")));
    } else {
        // A check box cannot wrap its text, and this one is longer than the panel is wide.
        subjectMask_ = new QCheckBox;
        subjectMask_->setObjectName("subjectMask");
        subjectMask_->setAccessibleName(labelOf(&EffectSettings::useSubjectMask));
        auto* subjectText = new QLabel(labelOf(&EffectSettings::useSubjectMask));
        subjectText->setWordWrap(true);
        subjectText->setBuddy(subjectMask_);
        auto* subjectLine = new QHBoxLayout;
        subjectLine->addWidget(subjectMask_, 0, Qt::AlignTop);
        subjectLine->addWidget(subjectText, 1);
        // Without the subject model the person mask is used, whatever the box says.
        const bool offered = subjectEngineOffered();
        subjectMask_->setEnabled(offered);
        subjectText->setEnabled(offered);
        column->addLayout(subjectLine);
        connect(subjectMask_, &QCheckBox::toggled, this,
                [this](bool on) { change([&](EffectSettings& s) { s.useSubjectMask = on; }); });
        engineNote_ = captionLabel({});
        engineNote_->setObjectName("engineNote");
        column->addWidget(engineNote_);
    }
    return box;
}

QWidget* SettingsPanel::numberRow(double EffectSettings::*field, const char* name) {
    auto* control = new QSlider(Qt::Horizontal);
    control->setObjectName(name);
    control->setRange(0, sliderSteps);
    sliders_.emplace_back(control, field);
    connect(control, &QSlider::valueChanged, this, [this, control, field] {
        change([&](EffectSettings& s) { s.*field = valueOf(control, field); });
    });
    return row(labelOf(field), control);
}

QWidget* SettingsPanel::edgeGroup() {
    QVBoxLayout* column = nullptr;
    QGroupBox* box = group(tr("Person edge"), column);
    column->addWidget(numberRow(&EffectSettings::edgeSoftness, "edgeSoftness"));
    column->addWidget(numberRow(&EffectSettings::edgeShift, "edgeShift"));
    reduceFlicker_ = new QCheckBox(labelOf(&EffectSettings::reduceFlicker));
    reduceFlicker_->setObjectName("reduceFlicker");
    column->addWidget(reduceFlicker_);
    connect(reduceFlicker_, &QCheckBox::toggled, this,
            [this](bool on) { change([&](EffectSettings& s) { s.reduceFlicker = on; }); });
    showMask_ = new QCheckBox(labelOf(&EffectSettings::showMask));
    showMask_->setObjectName("showMask");
    column->addWidget(showMask_);
    connect(showMask_, &QCheckBox::toggled, this,
            [this](bool on) { change([&](EffectSettings& s) { s.showMask = on; }); });
    return box;
}

void SettingsPanel::rebuildPresetsMenu() {
    presetsMenu_->clear();
    const auto& list = presets_.presets();
    if (list.empty()) presetsMenu_->addAction(tr("No presets yet"))->setEnabled(false);
    for (const Preset& preset : list) {
        presetsMenu_->addAction(
            QString::fromStdString(preset.name), this, [this, settings = preset.settings] {
                // A preset replaces everything, the kind included, but
                // for a kind locked by a recording in the other format.
                settings_ = !lockKind_ ? settings : keepingFormat(settings, settings_);
                refresh();
                if (edit_) edit_(settings_);
            });
    }
    presetsMenu_->addSeparator();
    presetsMenu_->addAction(tr("Save current settings…"), this, &SettingsPanel::savePreset);
    if (list.empty()) return;
    QMenu* remove = presetsMenu_->addMenu(tr("Delete"));
    for (const Preset& preset : list) {
        remove->addAction(QString::fromStdString(preset.name), this,
                          [this, preset] { presets_.remove(preset); });
    }
}

void SettingsPanel::savePreset() {
    SavePresetDialog dialog(this);
    if (dialog.exec() == QDialog::Accepted) presets_.add(dialog.name().toStdString(), settings_);
}

void SettingsPanel::setSettings(const EffectSettings& settings) {
    settings_ = settings;
    refresh();
}

void SettingsPanel::setLockKind(bool lock) {
    lockKind_ = lock;
    kind_->setEnabled(!lock);
}

void SettingsPanel::setFps(double fps) {
    if (fpsLabel_ != nullptr) fpsLabel_->setText(fpsText(fps));
}

QString SettingsPanel::fpsText(double fps) {
    if (!(fps > 0)) return tr("Measured: waiting for frames");
    return tr("Measured: %1 frames per second").arg(std::lround(fps));
}

QString SettingsPanel::engineNote(const EffectSettings& settings) {
    if (settings.useSubjectMask && subjectEngineOffered())
        return tr("Engine: subject mask, with the person mask at the %1 level as the fallback.")
            .arg(label(settings.quality));
    static const auto models = ModelDirectory::open(ModelDirectory::defaultLocation());
    const std::string title = models ? models.value().title(rawValue(settings.quality)) : "";
    if (title.empty())
        return tr("Engine: person mask at the %1 level.").arg(label(settings.quality));
    return tr("Engine: person mask at the %1 level (%2).")
        .arg(label(settings.quality), QString::fromStdString(title));
}

void SettingsPanel::change(const std::function<void(EffectSettings&)>& edit) {
    edit(settings_);
    refresh();
    if (edit_) edit_(settings_);
}

void SettingsPanel::refresh() {
    const EffectSettings& s = settings_;
    {
        const QSignalBlocker quiet(kind_);
        kind_->setCurrentIndex(kind_->findData(static_cast<int>(s.kind)));
    }
    noneNote_->setVisible(s.kind == BackgroundKind::none);
    strengthRow_->setVisible(s.kind == BackgroundKind::blur);
    colorRow_->setVisible(s.kind == BackgroundKind::color);
    pictureRow_->setVisible(s.kind == BackgroundKind::picture);
    placementRow_->setVisible(s.kind == BackgroundKind::picture);
    transparentNote_->setVisible(s.kind == BackgroundKind::transparent);
    for (const auto& [control, field] : sliders_) setValue(control, field, s.*field);
    const Color c = s.color();
    color_->setStyleSheet(QString("background: rgb(%1, %2, %3); min-width: 48px;")
                              .arg(std::lround(c.red * 255))
                              .arg(std::lround(c.green * 255))
                              .arg(std::lround(c.blue * 255)));
    const QString path = QString::fromStdString(s.picturePath);
    const QString name = path.isEmpty() ? tr("No image") : QFileInfo(path).fileName();
    pictureName_->setText(pictureName_->fontMetrics().elidedText(name, Qt::ElideMiddle, 180));
    pictureName_->setToolTip(name);
    placement_->button(static_cast<int>(s.pictureFit))->setChecked(true);
    quality_->button(static_cast<int>(s.quality))->setChecked(true);
    if (subjectMask_ != nullptr) {
        const QSignalBlocker quiet(subjectMask_);
        subjectMask_->setChecked(s.useSubjectMask);
    }
    if (engineNote_ != nullptr) engineNote_->setText(engineNote(s));
    {
        const QSignalBlocker quietFlicker(reduceFlicker_);
        const QSignalBlocker quietMask(showMask_);
        reduceFlicker_->setChecked(s.reduceFlicker);
        showMask_->setChecked(s.showMask);
    }
}

SavePresetDialog::SavePresetDialog(QWidget* parent)
    : QDialog(parent), field_(new QLineEdit), save_(new QPushButton(tr("Save"))) {
    setObjectName("savePreset");
    setWindowTitle(tr("Save settings as a preset"));
    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(20, 20, 20, 20);
    column->setSpacing(12);
    auto* title = new QLabel(tr("Save settings as a preset"));
    QFont headline = title->font();
    headline.setBold(true);
    title->setFont(headline);
    column->addWidget(title);
    field_->setPlaceholderText(tr("Preset name"));
    field_->setFixedWidth(260);
    column->addWidget(field_);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    auto* cancel = new QPushButton(tr("Cancel"));
    cancel->setAutoDefault(false);
    buttons->addWidget(cancel);
    save_->setDefault(true);
    save_->setEnabled(false);
    buttons->addWidget(save_);
    column->addLayout(buttons);
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
    connect(save_, &QPushButton::clicked, this, &QDialog::accept);
    connect(field_, &QLineEdit::textChanged, this, [this] {
        // Blank names cannot be saved: spaces and tabs at either end do not count.
        save_->setEnabled(!name().trimmed().isEmpty());
    });
}

QString SavePresetDialog::name() const {
    return field_->text();
}

}  // namespace pelliqo
