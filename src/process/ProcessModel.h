#pragma once

#include <QObject>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "engine/EffectSettings.h"
#include "engine/MovieFormat.h"
#include "errors/ErrorInfo.h"
#include "platform/image/Bitmap.h"
#include "platform/system/SerialQueue.h"
#include "process/VideoProcessor.h"

namespace pelliqo {

// What the save panel is asked to show.
struct SaveRequest {
    std::filesystem::path folder;
    std::string proposedName;
    MovieFormat format = movieFormat(false);
    std::string message;
};

// Asks the user where to save; the window supplies one, tests their own.
class SavePanel {
  public:
    virtual ~SavePanel() = default;
    // The chosen location, or nothing when the user cancelled.
    virtual std::optional<std::filesystem::path> choose(const SaveRequest& request) = 0;
};

// The model behind the "Process a video" screen: loads one video, previews the processed
// frame under the playhead, exports the whole file. Used on the main thread; every change
// is announced by its signal.
class ProcessModel : public QObject {
    Q_OBJECT
    Q_PROPERTY(double duration READ duration NOTIFY durationChanged)
    Q_PROPERTY(double playhead READ playhead WRITE setPlayhead NOTIFY playheadChanged)
    Q_PROPERTY(bool isProcessing READ isProcessing NOTIFY isProcessingChanged)
    Q_PROPERTY(double progress READ progress NOTIFY progressChanged)

  public:
    using Reveal = std::function<void(const std::filesystem::path&)>;
    using FreeSpace = std::function<std::optional<std::int64_t>(const std::filesystem::path&)>;

    static constexpr std::int64_t spareBytes = 200'000'000;
    static constexpr double previewDelay = 0.12;
    static constexpr int previewMaxWidth = 1280;

    // What videos are processed with unless the user says otherwise: the accurate quality.
    static EffectSettings defaultSettings();

    explicit ProcessModel(SavePanel& panel, QObject* parent = nullptr);
    ~ProcessModel() override;

    const EffectSettings& settings() const { return settings_; }
    void setSettings(const EffectSettings& settings);
    const std::optional<std::filesystem::path>& inputURL() const { return inputURL_; }
    const std::string& info() const { return info_; }
    double duration() const { return duration_; }
    double playhead() const { return playhead_; }
    void setPlayhead(double seconds);
    const std::optional<Bitmap>& previewImage() const { return previewImage_; }
    bool isProcessing() const { return isProcessing_; }
    double progress() const { return progress_; }
    const std::string& etaText() const { return etaText_; }
    const std::optional<std::filesystem::path>& outputURL() const { return outputURL_; }
    const std::optional<ErrorInfo>& errorInfo() const { return errorInfo_; }
    void setErrorInfo(std::optional<ErrorInfo> info);

    void load(const std::filesystem::path& file);
    void schedulePreview();
    void exportVideo();
    void cancel();
    void showInFinder();

    // Platform facilities, replaceable for tests.
    void setReveal(Reveal reveal) { reveal_ = std::move(reveal); }
    void setFreeSpace(FreeSpace freeSpace) { freeSpace_ = std::move(freeSpace); }

    // How many previews were rendered (not dropped as stale); for inspection.
    int previewsRendered() const;

    // "1920×1080 · 30 fps · 2:05"
    static std::string infoLine(int width, int height, double frameRate, double seconds);

  signals:
    void settingsChanged();
    void inputURLChanged();
    void infoChanged();
    void durationChanged();
    void playheadChanged();
    void previewImageChanged();
    void isProcessingChanged();
    void progressChanged();
    void etaTextChanged();
    void outputURLChanged();
    void errorInfoChanged();

  public:
    struct Preview;

  private:
    void loaded(const std::filesystem::path& file, double length, const std::string& info);
    void finished(const Result<std::filesystem::path>& result);
    void setProcessing(bool processing);
    void setEtaText(std::string text);
    void setOutputURL(std::optional<std::filesystem::path> url);

    SavePanel& panel_;
    Reveal reveal_;
    FreeSpace freeSpace_;

    EffectSettings settings_;
    std::optional<std::filesystem::path> inputURL_;
    std::string info_;
    double duration_ = 0;
    double playhead_ = 0;
    std::optional<Bitmap> previewImage_;
    bool isProcessing_ = false;
    double progress_ = 0;
    std::string etaText_;
    std::optional<std::filesystem::path> outputURL_;
    std::optional<ErrorInfo> errorInfo_;
    std::shared_ptr<VideoProcessor> processor_;
    int exports_ = 0;  // counts exports started: what an abandoned one says is dropped
    bool exporting(int run) const { return exports_ == run && processor_ != nullptr; }

    // Preview work and its state live on the preview queue; the queue is declared last so
    // that it is joined before the state it uses goes away.
    std::shared_ptr<Preview> preview_;
    std::unique_ptr<SerialQueue> previewQueue_;
};

}  // namespace pelliqo
