#include "frei0r/Filter.h"

#include <cmath>
#include <opencv2/imgproc.hpp>
#include <utility>

#include "engine/PresetStore.h"
#include "engine/RawValue.h"
#include "platform/image/MatView.h"
#include "platform/image/Rendering.h"
#include "platform/inference/ModelDirectory.h"
#include "platform/system/UserDefaults.h"

namespace pelliqo {

namespace {

// What `pelliqo process` starts from.
EffectSettings exportDefaults() {
    EffectSettings settings;
    settings.quality = QualityChoice::accurate;
    return settings;
}

std::optional<std::size_t> indexOf(std::string_view name) {
    const auto parameters = filterParameters();
    for (std::size_t i = 0; i < parameters.size(); ++i)
        if (parameters[i].name == name) return i;
    return std::nullopt;
}

cv::Mat hostFrame(int width, int height, const std::uint32_t* pixels) {
    return cv::Mat(height, width, CV_8UC4, const_cast<std::uint32_t*>(pixels));
}

}  // namespace

std::optional<std::string> filterProblem(const EffectSettings& settings) {
    auto models = ModelDirectory::open(ModelDirectory::defaultLocation());
    if (!models) return models.error().description;
    auto found = models.value().verified(rawValue(settings.quality));
    if (!found) return found.error().description;
    return std::nullopt;
}

Filter::Filter(int width, int height)
    : width_(width),
      height_(height),
      given_(filterParameters().size()),
      settings_(madeSettings()) {}

HostValue Filter::value(int index) const {
    const auto i = static_cast<std::size_t>(index);
    if (given_[i]) return *given_[i];
    return hostValue(filterParameters()[i], settings());
}

void Filter::setValue(int index, HostValue value) {
    // Hosts may set every value before every frame: only a change is worth a look at presets.
    auto& given = given_[static_cast<std::size_t>(index)];
    if (given == value) return;
    given = std::move(value);
    settings_ = madeSettings();
}

EffectSettings Filter::madeSettings() const {
    EffectSettings settings = exportDefaults();
    const auto parameters = filterParameters();
    const auto given = [&](std::string_view name) -> const std::optional<HostValue>& {
        return given_[*indexOf(name)];
    };
    if (const auto& preset = given("preset")) {
        const auto* name = std::get_if<std::string>(&*preset);
        if (name && !name->empty()) {
            const PresetStore presets(openUserDefaults());
            for (const Preset& p : presets.presets())
                if (p.name == *name) settings = p.settings;
        }
    }
    for (std::size_t i = 0; i < parameters.size(); ++i)
        if (given_[i]) setFromHost(parameters[i], *given_[i], settings);
    // As on the command line, a colour or a picture chooses its background unless one is set.
    if (!given("kind")) {
        if (given("picturePath")) settings.kind = BackgroundKind::picture;
        if (given("color")) settings.kind = BackgroundKind::color;
    }
    return settings;
}

bool Filter::startsRun(double time) {
    const std::optional<double> last = std::exchange(lastTime_, time);
    const double step = last ? std::abs(time - *last) : 0;
    if (!(step > 0)) return true;  // the first frame, the same one again, or no time at all
    if (step_ == 0) {              // the first step sets the pace; going back before it is a seek
        if (time < *last) return true;
        step_ = step;
        return false;
    }
    if (step > stepsToAJump * step_) return true;
    step_ += (step - step_) / 4;  // a recent average: a parallel host's steps vary
    return false;
}

void Filter::update(double time, const std::uint32_t* in, std::uint32_t* out) {
    const cv::Mat input = hostFrame(width_, height_, in);
    cv::Mat output = hostFrame(width_, height_, out);
    // After a jump the history belongs to other frames: the mask starts afresh.
    if (startsRun(time)) effect_.restart();
    if (!frame_) frame_ = PixelBuffer::make(width_, height_, PixelFormat::bgra8);
    if (!finished_) finished_ = PixelBuffer::make(width_, height_, PixelFormat::bgra8);
    if (!frame_ || !finished_) return input.copyTo(output);
    cv::cvtColor(input, matView(*frame_), cv::COLOR_RGBA2BGRA);
    const auto picture = effect_.apply(*frame_, settings_);
    if (!picture || !renderInto(*picture, *finished_)) return input.copyTo(output);
    cv::cvtColor(matView(*finished_), output, cv::COLOR_BGRA2RGBA);
}

}  // namespace pelliqo
