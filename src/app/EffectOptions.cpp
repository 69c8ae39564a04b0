#include "app/EffectOptions.h"

#include <charconv>
#include <cmath>

#include "engine/PresetStore.h"

namespace pelliqo {

namespace {

constexpr OptionSpec specs[] = {
    {"--preset", true},        {"--background", true},
    {"--blur-strength", true}, {"--color", true},
    {"--picture", true},       {"--fit", true},
    {"--quality", true},       {"--edge-softness", true},
    {"--edge-shift", true},    {"--no-reduce-flicker", false},
    {"--show-mask", false},
};

std::optional<std::string> value(const Arguments& arguments, const std::string& name) {
    const auto it = arguments.values.find(name);
    if (it == arguments.values.end()) return std::nullopt;
    return it->second;
}

template <class E>
std::optional<std::string> readCase(const Arguments& arguments, const std::string& name, E& out) {
    const auto text = value(arguments, name);
    if (!text) return std::nullopt;
    const auto parsed = fromRawValue<E>(*text);
    if (!parsed) return "unknown value \"" + *text + "\" for " + name;
    out = *parsed;
    return std::nullopt;
}

std::optional<std::string> readNumber(const Arguments& arguments, const std::string& name,
                                      double& out) {
    const auto text = value(arguments, name);
    if (!text) return std::nullopt;
    const auto parsed = parseNumber(*text);
    if (!parsed) return name + " needs a number, not \"" + *text + "\"";
    out = *parsed;
    return std::nullopt;
}

std::optional<std::string> applyPreset(const Arguments& arguments, EffectSettings& settings,
                                       const PresetStore& presets) {
    const auto name = value(arguments, "--preset");
    if (!name) return std::nullopt;
    for (const Preset& preset : presets.presets()) {
        if (preset.name == *name) {
            settings = preset.settings;
            return std::nullopt;
        }
    }
    return "no preset named \"" + *name + "\"";
}

}  // namespace

std::span<const OptionSpec> effectOptionSpecs() {
    return specs;
}

std::optional<double> parseNumber(const std::string& text) {
    double number = 0;
    const char* end = text.data() + text.size();
    const auto [stop, error] = std::from_chars(text.data(), end, number);
    if (error != std::errc() || stop != end || !std::isfinite(number)) return std::nullopt;
    return number;
}

std::optional<Color> parseColor(const std::string& text) {
    if (text.size() == 7 && text[0] == '#') {
        unsigned channels[3] = {};
        for (int i = 0; i < 3; ++i) {
            const char* first = text.data() + 1 + 2 * i;
            const auto [stop, error] = std::from_chars(first, first + 2, channels[i], 16);
            if (error != std::errc() || stop != first + 2) return std::nullopt;
        }
        return Color{channels[0] / 255.0, channels[1] / 255.0, channels[2] / 255.0, 1.0};
    }
    double components[3] = {};
    std::size_t start = 0;
    for (int i = 0; i < 3; ++i) {
        const std::size_t comma = text.find(',', start);
        if ((i < 2) != (comma != std::string::npos)) return std::nullopt;
        const auto number = parseNumber(
            text.substr(start, comma == std::string::npos ? std::string::npos : comma - start));
        if (!number || *number < 0 || *number > 1) return std::nullopt;
        components[i] = *number;
        start = comma + 1;
    }
    return Color{components[0], components[1], components[2], 1.0};
}

std::optional<std::string> applyEffectOptions(const Arguments& arguments, EffectSettings& settings,
                                              const PresetStore& presets) {
    if (auto problem = applyPreset(arguments, settings, presets)) return problem;
    const bool kindGiven = arguments.values.contains("--background");
    for (auto problem : {readCase(arguments, "--background", settings.kind),
                         readCase(arguments, "--fit", settings.pictureFit),
                         readCase(arguments, "--quality", settings.quality),
                         readNumber(arguments, "--blur-strength", settings.blurStrength),
                         readNumber(arguments, "--edge-softness", settings.edgeSoftness),
                         readNumber(arguments, "--edge-shift", settings.edgeShift)}) {
        if (problem) return problem;
    }
    if (const auto text = value(arguments, "--color")) {
        const auto color = parseColor(*text);
        if (!color) return "--color needs R,G,B (each 0 to 1) or #rrggbb, not \"" + *text + "\"";
        settings.setColor(*color);
        if (!kindGiven) settings.kind = BackgroundKind::color;
    }
    if (const auto path = value(arguments, "--picture")) {
        settings.picturePath = *path;
        if (!kindGiven) settings.kind = BackgroundKind::picture;
    }
    if (arguments.flags.contains("--no-reduce-flicker")) settings.reduceFlicker = false;
    if (arguments.flags.contains("--show-mask")) settings.showMask = true;
    return std::nullopt;
}

}  // namespace pelliqo
