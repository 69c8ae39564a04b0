#pragma once

#include <QDialog>
#include <QScrollArea>
#include <functional>
#include <optional>
#include <utility>
#include <vector>

#include "engine/EffectSettings.h"

class QAbstractButton;
class QButtonGroup;
class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QMenu;
class QPushButton;
class QSlider;
class QToolButton;

namespace pelliqo {

class PresetStore;

// The labels the pickers show.
QString label(BackgroundKind kind);
QString label(QualityChoice quality);
QString label(PictureFit fit);

// The column of controls that edits one effect settings record: background, quality, the
// mask edge, and the presets menu. The record screen shows it live (measured rate); the
// process screen without (engine note). Every edit goes to the caller at once; the caller
// hands the record back through setSettings, which never reports an edit.
class SettingsPanel : public QScrollArea {
    Q_OBJECT

  public:
    using Edit = std::function<void(const EffectSettings&)>;
    using ImageChooser = std::function<std::optional<QString>()>;

    SettingsPanel(PresetStore& presets, bool live, Edit edit, QWidget* parent = nullptr);

    void setSettings(const EffectSettings& settings);
    const EffectSettings& settings() const { return settings_; }
    void setLockKind(bool lock);
    void setFps(double fps);

    // The open panel for "Choose image…"; replaceable for tests.
    void setImageChooser(ImageChooser chooser) { chooseImage_ = std::move(chooser); }
    QMenu* presetsMenu() const { return presetsMenu_; }

    // "Measured: 30 frames per second", or "Measured: waiting for frames" at 0.
    static QString fpsText(double fps);
    // Which engine makes the masks at these settings.
    static QString engineNote(const EffectSettings& settings);

  private:
    void build(bool live);
    QWidget* backgroundGroup(bool live);
    QWidget* qualityGroup(bool live);
    QWidget* edgeGroup();
    // A named slider over a number's range in the parameter table, with its label.
    QWidget* numberRow(double EffectSettings::*field, const char* name);
    void rebuildPresetsMenu();
    void savePreset();
    void change(const std::function<void(EffectSettings&)>& edit);
    void refresh();

    PresetStore& presets_;
    Edit edit_;
    ImageChooser chooseImage_;
    EffectSettings settings_;
    bool lockKind_ = false;  // a recording runs: its movie format must not change

    QToolButton* presetsButton_ = nullptr;
    QMenu* presetsMenu_ = nullptr;
    QComboBox* kind_ = nullptr;
    QLabel* noneNote_ = nullptr;
    QWidget* strengthRow_ = nullptr;
    // Every number's slider, and the number it edits.
    std::vector<std::pair<QSlider*, double EffectSettings::*>> sliders_;
    QWidget* colorRow_ = nullptr;
    QPushButton* color_ = nullptr;
    QWidget* pictureRow_ = nullptr;
    QLabel* pictureName_ = nullptr;
    QWidget* placementRow_ = nullptr;
    QButtonGroup* placement_ = nullptr;
    QLabel* transparentNote_ = nullptr;
    QButtonGroup* quality_ = nullptr;
    QLabel* fpsLabel_ = nullptr;
    QCheckBox* subjectMask_ = nullptr;
    QLabel* engineNote_ = nullptr;
    QCheckBox* reduceFlicker_ = nullptr;
    QCheckBox* showMask_ = nullptr;
};

// "Save settings as a preset": a name field and Cancel / Save; Save stays disabled while
// the name is blank.
class SavePresetDialog : public QDialog {
    Q_OBJECT

  public:
    explicit SavePresetDialog(QWidget* parent = nullptr);
    QString name() const;
    QLineEdit* field() const { return field_; }
    QPushButton* saveButton() const { return save_; }

  private:
    QLineEdit* field_;
    QPushButton* save_;
};

}  // namespace pelliqo
