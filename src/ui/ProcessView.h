#pragma once

#include <QWidget>
#include <functional>
#include <optional>

class QLabel;
class QProgressBar;
class QPushButton;
class QSlider;
class QStackedWidget;

namespace pelliqo {

class DropZone;
class ErrorBox;
class PresetStore;
class PreviewImageView;
class ProcessModel;
class SettingsPanel;

// The "Process a video" screen: a drop zone until a file is loaded, then the processed
// preview, the scrubber and the export row; the settings panel on the right. The whole
// screen takes dropped files.
class ProcessView : public QWidget {
    Q_OBJECT

  public:
    using FileChooser = std::function<std::optional<QString>()>;

    ProcessView(ProcessModel& model, PresetStore& presets, QWidget* parent = nullptr);

    // The open dialog for "Open…"; replaceable for tests.
    void setFileChooser(FileChooser chooser) { chooseFile_ = std::move(chooser); }
    bool targeted() const { return targeted_; }

    // "42% · about a minute left" at 0.427.
    static QString progressText(double progress, const QString& eta);
    // The scrubber's end: the duration, or 0.1 for anything shorter.
    static double scrubberEnd(double duration);

  protected:
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dragLeaveEvent(QDragLeaveEvent* event) override;
    void dropEvent(QDropEvent* event) override;

  private:
    QWidget* loadedPage();
    QWidget* exportRow();
    void openFile();
    void setTargeted(bool targeted);
    void refresh();

    ProcessModel& model_;
    FileChooser chooseFile_;
    bool targeted_ = false;

    ErrorBox* error_ = nullptr;
    QStackedWidget* pages_ = nullptr;
    DropZone* dropZone_ = nullptr;
    PreviewImageView* preview_ = nullptr;
    QLabel* name_ = nullptr;
    QLabel* info_ = nullptr;
    QSlider* scrubber_ = nullptr;
    QLabel* times_ = nullptr;
    QStackedWidget* exportRows_ = nullptr;
    QProgressBar* progress_ = nullptr;
    QLabel* percent_ = nullptr;
    QWidget* saved_ = nullptr;
    QLabel* eta_ = nullptr;
    QPushButton* export_ = nullptr;
    SettingsPanel* settings_ = nullptr;
};

// The dashed box that invites a drop; the border takes the accent colour while a drag
// hovers.
class DropZone : public QWidget {
    Q_OBJECT

  public:
    explicit DropZone(QPushButton* open, QWidget* parent = nullptr);
    void setTargeted(bool targeted);
    bool targeted() const { return targeted_; }

  protected:
    void paintEvent(QPaintEvent* event) override;

  private:
    bool targeted_ = false;
};

}  // namespace pelliqo
