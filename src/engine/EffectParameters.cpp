#include "engine/EffectParameters.h"

#include <QtGlobal>
#include <algorithm>
#include <array>
#include <cstdio>
#include <stdexcept>

namespace pelliqo {

namespace {

using S = EffectSettings;

constexpr std::array kindLabels{QT_TRANSLATE_NOOP("EffectParameters", "None"),
                                QT_TRANSLATE_NOOP("EffectParameters", "Blur"),
                                QT_TRANSLATE_NOOP("EffectParameters", "Color"),
                                QT_TRANSLATE_NOOP("EffectParameters", "Picture"),
                                QT_TRANSLATE_NOOP("EffectParameters", "Transparent")};
constexpr std::array fitLabels{QT_TRANSLATE_NOOP("EffectParameters", "Fill"),
                               QT_TRANSLATE_NOOP("EffectParameters", "Fit")};
constexpr std::array qualityLabels{QT_TRANSLATE_NOOP("EffectParameters", "Fast"),
                                   QT_TRANSLATE_NOOP("EffectParameters", "Balanced"),
                                   QT_TRANSLATE_NOOP("EffectParameters", "Accurate")};

const std::array<EffectParameter, 13> parameters{{
    {.key = "kind",
     .field = &S::kind,
     .flag = "--background",
     .label = QT_TRANSLATE_NOOP("EffectParameters", "Background"),
     .choiceLabels = kindLabels,
     .help = "what goes behind the person"},
    {.key = "blurStrength",
     .field = &S::blurStrength,
     .low = 2,
     .high = 80,
     .flag = "--blur-strength",
     .label = QT_TRANSLATE_NOOP("EffectParameters", "Strength"),
     .help = "blur radius for a 1280-pixel-wide frame"},
    // The colour is one option and one control over three components.
    {.key = "red",
     .field = &S::red,
     .high = 1,
     .label = QT_TRANSLATE_NOOP("EffectParameters", "Color")},
    {.key = "green", .field = &S::green, .high = 1},
    {.key = "blue", .field = &S::blue, .high = 1},
    {.key = "pictureFit",
     .field = &S::pictureFit,
     .flag = "--fit",
     .label = QT_TRANSLATE_NOOP("EffectParameters", "Placement"),
     .choiceLabels = fitLabels,
     .help = "how the background picture is scaled"},
    {.key = "picturePath",
     .field = &S::picturePath,
     .flag = "--picture",
     .help = "background picture (chooses the picture background)"},
    {.key = "quality",
     .field = &S::quality,
     .flag = "--quality",
     .label = QT_TRANSLATE_NOOP("EffectParameters", "Quality"),
     .choiceLabels = qualityLabels,
     .help = "segmentation model"},
    {.key = "edgeSoftness",
     .field = &S::edgeSoftness,
     .high = 10,
     .flag = "--edge-softness",
     .label = QT_TRANSLATE_NOOP("EffectParameters", "Edge softness"),
     .help = "soften the mask edge, in pixels of a 640-wide mask"},
    {.key = "edgeShift",
     .field = &S::edgeShift,
     .low = -6,
     .high = 6,
     .flag = "--edge-shift",
     .label = QT_TRANSLATE_NOOP("EffectParameters", "Shrink / grow"),
     .help = "grow (+) or shrink (-) the person, in pixels of a 640-wide mask"},
    {.key = "reduceFlicker",
     .field = &S::reduceFlicker,
     .flag = "--no-reduce-flicker",
     .flagValue = false,
     .label = QT_TRANSLATE_NOOP("EffectParameters", "Reduce flicker"),
     .help = "no smoothing of the mask over time"},
    {.key = "showMask",
     .field = &S::showMask,
     .flag = "--show-mask",
     .label = QT_TRANSLATE_NOOP("EffectParameters", "Show the mask"),
     .help = "output the refined mask itself"},
    {.key = "useSubjectMask",
     .field = &S::useSubjectMask,
     .flag = "--subject-mask",
     .label =
         QT_TRANSLATE_NOOP("EffectParameters", "Use the subject mask (all foreground objects)"),
     .help = "mask all foreground objects, not only people (pictures and video files)"},
}};

template <class E>
std::string choices() {
    std::string text;
    for (E value : allCases<E>()) text += (text.empty() ? "" : "|") + std::string(rawValue(value));
    return text;
}

}  // namespace

std::span<const EffectParameter> effectParameters() {
    return parameters;
}

const EffectParameter& effectParameter(EffectField field) {
    const auto found = std::ranges::find(parameters, field, &EffectParameter::field);
    // Every field of the record is in the table; a miss is a programming error.
    if (found == parameters.end()) throw std::logic_error("effect field without a parameter");
    return *found;
}

std::string valueHint(const EffectParameter& parameter) {
    return std::visit(
        [](auto field) -> std::string {
            using T = std::decay_t<decltype(EffectSettings{}.*field)>;
            if constexpr (std::is_same_v<T, double>) return "N";
            if constexpr (std::is_same_v<T, bool>) return "";
            if constexpr (std::is_same_v<T, std::string>) return "PATH";
            if constexpr (std::is_enum_v<T>) return choices<T>();
        },
        parameter.field);
}

std::string valueText(const EffectParameter& parameter, const EffectSettings& settings) {
    return std::visit(
        [&](auto field) -> std::string {
            const auto& value = settings.*field;
            using T = std::decay_t<decltype(value)>;
            if constexpr (std::is_same_v<T, double>) {
                char text[32];
                std::snprintf(text, sizeof text, "%g", value);
                return text;
            } else if constexpr (std::is_same_v<T, bool>) {
                return value ? "on" : "off";
            } else if constexpr (std::is_same_v<T, std::string>) {
                return value;
            } else {
                return std::string(rawValue(value));
            }
        },
        parameter.field);
}

}  // namespace pelliqo
