#pragma once

#include <QWidget>
#include <filesystem>
#include <vector>

class QCheckBox;
class QComboBox;
class QHBoxLayout;
class QLabel;
class QPushButton;
class QStackedWidget;

namespace pelliqo {

class CameraSource;
class ErrorBox;
class LevelMeter;
class PermissionCenter;
class PermissionNotice;
class PresetStore;
class PreviewImageView;
class RecordModel;
class SettingsPanel;

// The "Record" screen: errors, the camera area (permission prompts or the live preview),
// the recording controls, device pickers, microphone and mirror switches, the saved files;
// the settings panel on the right. Starts the camera when made and stops it when it goes
// (unless a recording runs).
class RecordView : public QWidget {
    Q_OBJECT

  public:
    RecordView(RecordModel& model, PermissionCenter& permissions, PresetStore& presets,
               QWidget* parent = nullptr);
    ~RecordView() override;

    // "Saved a.mp4 and a (original).mp4".
    static QString savedText(const std::vector<std::filesystem::path>& files);

  private:
    QWidget* cameraArea();
    QWidget* controls();
    QWidget* microphoneControls();
    QHBoxLayout* virtualCameraRow();
    QWidget* savedRow();
    void connectModels();
    void refresh();
    void refreshPreview();
    void refreshDevices();
    void toggleRecording();

    RecordModel& model_;
    CameraSource& camera_;
    PermissionCenter& permissions_;

    ErrorBox* modelError_ = nullptr;
    ErrorBox* cameraProblem_ = nullptr;
    ErrorBox* micProblem_ = nullptr;
    QStackedWidget* cameraArea_ = nullptr;
    PreviewImageView* preview_ = nullptr;
    QWidget* controls_ = nullptr;
    QPushButton* record_ = nullptr;
    QLabel* clock_ = nullptr;
    QLabel* format_ = nullptr;
    QComboBox* cameras_ = nullptr;
    QComboBox* microphones_ = nullptr;
    QStackedWidget* micControls_ = nullptr;
    QCheckBox* micOn_ = nullptr;
    LevelMeter* meter_ = nullptr;
    QCheckBox* mirrorPreview_ = nullptr;
    QCheckBox* mirrorRecording_ = nullptr;
    QCheckBox* keepOriginal_ = nullptr;
    QCheckBox* virtualCamera_ = nullptr;
    PermissionNotice* micNotice_ = nullptr;
    QWidget* savedRow_ = nullptr;
    QLabel* savedLabel_ = nullptr;
    SettingsPanel* settings_ = nullptr;
};

// The microphone level: a grey bar with a green part as long as the level.
class LevelMeter : public QWidget {
    Q_OBJECT

  public:
    explicit LevelMeter(QWidget* parent = nullptr);
    void setLevel(float level);
    float level() const { return level_; }

  protected:
    void paintEvent(QPaintEvent* event) override;

  private:
    float level_ = 0;
};

}  // namespace pelliqo
