#pragma once

#include <QPointer>
#include <QSettings>
#include <QWidget>
#include <memory>

class QTabBar;
class QVBoxLayout;

namespace pelliqo {

class FirstRunView;
class PermissionCenter;
class PresetStore;
class ProcessModel;
class RecordModel;
class SavePanel;

// What the window owns for its whole life.
struct ContentParts {
    std::unique_ptr<QSettings> defaults;  // where "didSeeIntro" is kept
    std::unique_ptr<PermissionCenter> permissions;
    std::unique_ptr<RecordModel> record;
    std::unique_ptr<SavePanel> savePanel;
    std::unique_ptr<ProcessModel> process;
    std::unique_ptr<PresetStore> presets;

    // The real devices, settings and dialogs.
    static ContentParts system();
};

// The window's content: the "Record" / "Process a video" switch, the chosen screen (only
// that one exists), and the note at the bottom; the first-run sheet over it all until the
// user has finished it once.
class ContentView : public QWidget {
    Q_OBJECT

  public:
    static constexpr auto didSeeIntroKey = "didSeeIntro";
    static constexpr auto virtualCameraKey = "pelliqo.virtualCamera";

    explicit ContentView(ContentParts parts, QWidget* parent = nullptr);
    ~ContentView() override;

    QTabBar* modeSwitch() const { return modeSwitch_; }
    QWidget* screen() const { return screen_; }
    // The first-run sheet while it is up.
    FirstRunView* firstRun() const;
    RecordModel& record() { return *parts_.record; }
    ProcessModel& process() { return *parts_.process; }
    PermissionCenter& permissions() { return *parts_.permissions; }
    PresetStore& presets() { return *parts_.presets; }

  protected:
    void showEvent(QShowEvent* event) override;

  private:
    void showScreen(int tab);
    void refreshSwitch();

    ContentParts parts_;
    QTabBar* modeSwitch_ = nullptr;
    QVBoxLayout* screenSlot_ = nullptr;
    QWidget* screen_ = nullptr;
    QPointer<FirstRunView> firstRun_;
};

// Opens the window and runs until it closes.
int runWindow(int& argc, char** argv);

}  // namespace pelliqo
