#include "process/ProcessModel.h"

#include <atomic>
#include <cmath>

#include "engine/FrameEffect.h"
#include "engine/Locked.h"
#include "engine/MovieFormat.h"
#include "engine/OutputNaming.h"
#include "errors/AppErr.h"
#include "errors/Texts.h"
#include "platform/media/MovieAsset.h"
#include "platform/media/StillFrameGenerator.h"
#include "platform/system/FileReveal.h"
#include "platform/system/MainQueue.h"
#include "platform/system/WeakTask.h"

namespace pelliqo {

namespace fs = std::filesystem;

// What the preview queue works with.
struct ProcessModel::Preview {
    Locked<std::int64_t> token{0};
    std::unique_ptr<StillFrameGenerator> generator;
    FrameEffect effect{FrameEffect::Frames::stills};
    std::atomic<int> rendered{0};
};

namespace {

std::string unreadableMessage(const fs::path& file) {
    return file.filename().string() + std::string(text::report::unreadableVideoSuffix);
}

}  // namespace

EffectSettings ProcessModel::defaultSettings() {
    EffectSettings s;
    s.quality = QualityChoice::accurate;
    s.useSubjectMask = subjectEngineOffered();
    return s;
}

std::string ProcessModel::infoLine(int width, int height, double frameRate, double seconds) {
    const long fps = std::isfinite(frameRate) ? std::lround(frameRate) : 0;
    return std::to_string(width) + "×" + std::to_string(height) + " · " + std::to_string(fps) +
           " fps · " + formatTime(seconds);
}

ProcessModel::ProcessModel(SavePanel& panel, QObject* parent)
    : QObject(parent),
      panel_(panel),
      reveal_([](const std::filesystem::path& file) { revealInFileManager(file); }),
      freeSpace_(OutputNaming::freeSpace),
      settings_(defaultSettings()),
      preview_(std::make_shared<Preview>()),
      previewQueue_(std::make_unique<SerialQueue>("pelliqo.preview")) {}

ProcessModel::~ProcessModel() {
    // An export still running is stopped, and waited for within the bound: the program may be
    // ending, which would leave its hidden file behind. Its completion finds the model gone.
    if (!processor_) return;
    processor_->cancelFlag.set(true);
    processor_->waitForEnd(VideoProcessor::cancelBound);
}

void ProcessModel::setSettings(const EffectSettings& settings) {
    if (settings == settings_) return;
    settings_ = settings;
    emit settingsChanged();
    schedulePreview();
}

void ProcessModel::setPlayhead(double seconds) {
    const bool changed = seconds != playhead_;
    playhead_ = seconds;
    if (changed) emit playheadChanged();
    schedulePreview();
}

void ProcessModel::setErrorInfo(std::optional<ErrorInfo> info) {
    errorInfo_ = std::move(info);
    emit errorInfoChanged();
}

void ProcessModel::setProcessing(bool processing) {
    if (processing == isProcessing_) return;
    isProcessing_ = processing;
    emit isProcessingChanged();
}

void ProcessModel::setEtaText(std::string text) {
    etaText_ = std::move(text);
    emit etaTextChanged();
}

void ProcessModel::setOutputURL(std::optional<fs::path> url) {
    outputURL_ = std::move(url);
    emit outputURLChanged();
}

int ProcessModel::previewsRendered() const {
    return preview_->rendered.load();
}

void ProcessModel::load(const fs::path& file) {
    if (isProcessing_) return;
    if (errorInfo_) setErrorInfo(std::nullopt);
    if (outputURL_) setOutputURL(std::nullopt);
    previewQueue_->async(weakly(preview_, [file,
                                           model = QPointer<ProcessModel>(this)](Preview& preview) {
        const MovieAsset asset = MovieAsset::open(file);
        auto generator =
            asset.isReadable && asset.video
                ? StillFrameGenerator::open(file, *asset.video, previewMaxWidth, previewMaxWidth)
                : Result<std::unique_ptr<StillFrameGenerator>>(AppErr::message("unreadable"));
        if (!generator) {
            mainQueue::async([model, file] {
                if (model)
                    model->setErrorInfo(
                        ErrorInfo::report(text::title::cannotReadFile, unreadableMessage(file)));
            });
            return;
        }
        preview.generator = std::move(generator).value();
        const VideoTrack& v = *asset.video;
        const bool turned = exifOrientation(v.preferredTransform) == 6 ||
                            exifOrientation(v.preferredTransform) == 8;
        const std::string info =
            infoLine(turned ? v.naturalHeight : v.naturalWidth,
                     turned ? v.naturalWidth : v.naturalHeight, v.nominalFrameRate, asset.duration);
        mainQueue::async([model, file, length = asset.duration, info] {
            if (model) model->loaded(file, length, info);
        });
    }));
}

void ProcessModel::loaded(const fs::path& file, double length, const std::string& info) {
    inputURL_ = file;
    emit inputURLChanged();
    duration_ = std::isfinite(length) ? length : 0;
    emit durationChanged();
    info_ = info;
    emit infoChanged();
    setPlayhead(0);
    schedulePreview();
}

void ProcessModel::schedulePreview() {
    if (!inputURL_) return;
    // Only the main thread writes the token, so read-then-write is safe.
    const std::int64_t token = preview_->token.get() + 1;
    preview_->token.set(token);
    const EffectSettings settings = settings_;
    const double at = playhead_;
    auto job = [token, settings, at, model = QPointer<ProcessModel>(this)](Preview& p) {
        if (p.token.get() != token || !p.generator) return;
        const auto still = p.generator->image(MediaTime::fromSeconds(at, 600));
        if (!still || p.token.get() != token) return;
        const auto result = p.effect.apply(*still, settings);
        if (!result) return;
        auto image = p.effect.compositor().makeCGImage(*result, previewMaxWidth);
        if (p.token.get() != token) return;
        ++p.rendered;
        mainQueue::async([model, image = std::move(image)]() mutable {
            if (!model) return;
            model->previewImage_ = std::move(image);
            emit model->previewImageChanged();
        });
    };
    previewQueue_->asyncAfter(previewDelay, weakly(preview_, std::move(job)));
}

void ProcessModel::exportVideo() {
    if (!inputURL_ || isProcessing_) return;
    const MovieFormat format = movieFormat(settings_.kind);
    const SaveRequest request{
        OutputNaming::moviesFolder(), exportName(*inputURL_, settings_.kind), format,
        format.hasAlpha ? "Transparent backgrounds are saved as ProRes 4444 with alpha (.mov)."
                        : "Saved as H.264 (.mp4)."};
    const auto chosen = panel_.choose(request);
    if (!chosen) return;
    if (sameLocation(*chosen, *inputURL_)) {
        return setErrorInfo(
            ErrorInfo::report(text::title::chooseAnotherName, text::report::sameFile));
    }
    std::error_code error;
    const auto size = fs::file_size(*inputURL_, error);
    const std::int64_t inputSize = error ? 0 : static_cast<std::int64_t>(size);
    const auto free = freeSpace_(chosen->parent_path());
    if (free && *free < inputSize + spareBytes) {
        return setErrorInfo(
            ErrorInfo::report(text::title::notEnoughDiskSpace, text::report::exportNoRoom));
    }
    if (errorInfo_) setErrorInfo(std::nullopt);
    if (outputURL_) setOutputURL(std::nullopt);
    progress_ = 0;
    emit progressChanged();
    setEtaText(std::string(text::status::starting));
    setProcessing(true);
    processor_ = VideoProcessor::make(*inputURL_, *chosen, settings_);
    const int run = ++exports_;
    processor_->start(
        [model = QPointer<ProcessModel>(this), run](double fraction, const std::string& text) {
            if (!model || !model->exporting(run)) return;
            model->progress_ = fraction;
            emit model->progressChanged();
            model->setEtaText(text);
        },
        [model = QPointer<ProcessModel>(this), run](const Result<fs::path>& result) {
            if (model && model->exporting(run)) model->finished(result);
        });
}

void ProcessModel::finished(const Result<fs::path>& result) {
    setProcessing(false);
    processor_.reset();
    if (result) {
        setOutputURL(result.value());
        setEtaText(std::string(text::status::done));
    } else if (isCancellation(result.error())) {
        setEtaText("Cancelled");
    } else {
        // The error box says why it stopped; a time left that no longer runs would mislead.
        setEtaText("");
        setErrorInfo(
            ErrorInfo::make(text::title::processingStopped, result.error(), Failed::files));
    }
}

void ProcessModel::cancel() {
    if (!processor_) return;
    processor_->cancelFlag.set(true);
    setEtaText("Cancelling…");
    // An export stuck where the cancel cannot reach is left to itself, and the screen freed.
    mainQueue::asyncAfter(VideoProcessor::cancelBound,
                          [model = QPointer<ProcessModel>(this), run = exports_] {
                              if (model && model->exporting(run))
                                  model->finished(PlatformError(AppErr::cancelled()));
                          });
}

void ProcessModel::showInFinder() {
    if (outputURL_ && reveal_) reveal_(*outputURL_);
}

}  // namespace pelliqo
