#include "app/EffectOptions.h"

#include <charconv>
#include <cmath>

#include "engine/EffectParameters.h"
#include "engine/PresetStore.h"

namespace pelliqo {

namespace {

// The options that are not one parameter each: a preset sets them all, a colour three.
constexpr std::string_view presetFlag = "--preset";
constexpr std::string_view colorFlag = "--color";

// Reads one parameter's option into the settings; the problem when its value is not of
// the parameter's type.
struct OptionReader {
    const Arguments& arguments;
    const EffectParameter& parameter;

    std::optional<std::string> operator()(bool EffectSettings::*field, EffectSettings& s) const {
        if (arguments.flags.contains(std::string(parameter.flag))) s.*field = parameter.flagValue;
        return std::nullopt;
    }
    std::optional<std::string> operator()(std::string EffectSettings::*field,
                                          EffectSettings& s) const {
        if (const auto text = arguments.value(parameter.flag)) s.*field = *text;
        return std::nullopt;
    }
    std::optional<std::string> operator()(double EffectSettings::*field, EffectSettings& s) const {
        const auto text = arguments.value(parameter.flag);
        if (!text) return std::nullopt;
        const auto number = parseNumber(*text);
        if (!number) return std::string(parameter.flag) + " needs a number, not \"" + *text + "\"";
        s.*field = *number;
        return std::nullopt;
    }
    template <class E>
    requires std::is_enum_v<E> std::optional<std::string>
    operator()(E EffectSettings::*field, EffectSettings& s) const {
        const auto text = arguments.value(parameter.flag);
        if (!text) return std::nullopt;
        const auto parsed = fromRawValue<E>(*text);
        if (!parsed) return "unknown value \"" + *text + "\" for " + std::string(parameter.flag);
        s.*field = *parsed;
        return std::nullopt;
    }
};

std::optional<std::string> applyPreset(const Arguments& arguments, EffectSettings& settings,
                                       const PresetStore& presets) {
    const auto name = arguments.value(presetFlag);
    if (!name) return std::nullopt;
    for (const Preset& preset : presets.presets()) {
        if (preset.name == *name) {
            settings = preset.settings;
            return std::nullopt;
        }
    }
    return "no preset named \"" + *name + "\"";
}

std::optional<std::string> applyColor(const Arguments& arguments, EffectSettings& settings) {
    const auto text = arguments.value(colorFlag);
    if (!text) return std::nullopt;
    const auto color = parseColor(*text);
    if (!color) return "--color needs R,G,B (each 0 to 1) or #rrggbb, not \"" + *text + "\"";
    settings.setColor(*color);
    return std::nullopt;
}

std::string flagUsage(std::string_view flag, const std::string& hint) {
    return "[" + std::string(flag) + (hint.empty() ? "" : " " + hint) + "]";
}

}  // namespace

std::span<const OptionSpec> effectOptionSpecs() {
    static const std::vector<OptionSpec> specs = [] {
        std::vector<OptionSpec> all{{presetFlag, true}, {colorFlag, true}};
        for (const EffectParameter& p : effectParameters()) {
            if (!p.flag.empty())
                all.push_back({p.flag, !std::holds_alternative<bool EffectSettings::*>(p.field)});
        }
        return all;
    }();
    return specs;
}

std::string usageWithEffectOptions(const char* usage) {
    return std::string(usage) + "\n  effect options: " + effectOptionsUsage();
}

std::string effectOptionsUsage() {
    std::vector<std::string> parts{flagUsage(presetFlag, "NAME"),
                                   flagUsage(colorFlag, "R,G,B | --color '#rrggbb'")};
    for (const EffectParameter& p : effectParameters())
        if (!p.flag.empty()) parts.push_back(flagUsage(p.flag, valueHint(p)));
    std::string usage;
    std::size_t lineLength = 0;
    for (const std::string& part : parts) {
        if (lineLength > 0 && lineLength + part.size() > 72) {
            usage += "\n       ";
            lineLength = 0;
        } else if (lineLength > 0) {
            usage += " ";
        }
        usage += part;
        lineLength += part.size() + 1;
    }
    return usage;
}

std::string effectOptionsHelp(const EffectSettings& defaults) {
    // The option, then its meaning in a column of its own (below it when it is too long).
    const auto line = [](const std::string& option, std::string_view help) {
        constexpr std::size_t column = 26;
        const std::string gap = option.size() + 2 <= column
                                    ? std::string(column - option.size(), ' ')
                                    : "\n" + std::string(column + 2, ' ');
        return "  " + option + gap + std::string(help) + "\n";
    };
    std::string text = line("--preset NAME", "start from a preset saved in the window") +
                       line("--color R,G,B|#rrggbb",
                            "background colour, components 0 to 1 (chooses the colour "
                            "background)");
    for (const EffectParameter& p : effectParameters()) {
        if (p.flag.empty()) continue;
        const std::string hint = valueHint(p);
        const std::string value = hint.empty() ? "" : valueText(p, defaults);
        const std::string shown = value.empty() ? "" : " (default " + value + ")";
        text += line(std::string(p.flag) + (hint.empty() ? "" : " " + hint),
                     std::string(p.help) + shown);
    }
    return text;
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
    for (const EffectParameter& p : effectParameters()) {
        if (p.flag.empty()) continue;
        const OptionReader read{arguments, p};
        if (auto problem = std::visit([&](auto field) { return read(field, settings); }, p.field))
            return problem;
    }
    if (auto problem = applyColor(arguments, settings)) return problem;
    // A colour or a picture on its own says which background is meant.
    const auto& kindFlag = effectParameter(&EffectSettings::kind).flag;
    if (!arguments.values.contains(std::string(kindFlag))) {
        if (arguments.values.contains(std::string(colorFlag)))
            settings.kind = BackgroundKind::color;
        if (arguments.values.contains(
                std::string(effectParameter(&EffectSettings::picturePath).flag)))
            settings.kind = BackgroundKind::picture;
    }
    return std::nullopt;
}

}  // namespace pelliqo
