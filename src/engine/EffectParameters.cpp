#include "engine/EffectParameters.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <stdexcept>

namespace pelliqo {

namespace {

using S = EffectSettings;

const std::array<EffectParameter, 13> parameters{{
    {"kind", &S::kind, 0, 0, "--background", true, "Background", "what goes behind the person"},
    {"blurStrength", &S::blurStrength, 2, 80, "--blur-strength", true, "Strength",
     "blur radius for a 1280-pixel-wide frame"},
    // The colour is one option and one control over three components.
    {"red", &S::red, 0, 1},
    {"green", &S::green, 0, 1},
    {"blue", &S::blue, 0, 1},
    {"pictureFit", &S::pictureFit, 0, 0, "--fit", true, "Placement",
     "how the background picture is scaled"},
    {"picturePath",
     &S::picturePath,
     0,
     0,
     "--picture",
     true,
     {},
     "background picture (chooses the picture background)"},
    {"quality", &S::quality, 0, 0, "--quality", true, "Quality", "segmentation model"},
    {"edgeSoftness", &S::edgeSoftness, 0, 10, "--edge-softness", true, "Edge softness",
     "soften the mask edge, in pixels of a 640-wide mask"},
    {"edgeShift", &S::edgeShift, -6, 6, "--edge-shift", true, "Shrink / grow",
     "grow (+) or shrink (-) the person, in pixels of a 640-wide mask"},
    {"reduceFlicker", &S::reduceFlicker, 0, 0, "--no-reduce-flicker", false, "Reduce flicker",
     "no smoothing of the mask over time"},
    {"showMask", &S::showMask, 0, 0, "--show-mask", true, "Show the mask",
     "output the refined mask itself"},
    {"useSubjectMask", &S::useSubjectMask, 0, 0, "--subject-mask", true,
     "Use the subject mask (all foreground objects)",
     "mask all foreground objects, not only people (pictures and video files)"},
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
