#include "frei0r/FilterParameters.h"

// The header declares the entry points without C linkage of its own.
extern "C" {
#include <frei0r.h>
}

#include <algorithm>
#include <cmath>
#include <sstream>
#include <type_traits>
#include <vector>

#include "engine/RawValue.h"

namespace pelliqo {

namespace {

template <class E>
std::string choices() {
    std::string words;
    for (E value : allCases<E>())
        words += (words.empty() ? "" : "|") + std::string(rawValue(value));
    return " (" + words + ")";
}

std::string number(double value) {
    std::ostringstream text;
    text << value;
    return text.str();
}

int typeOf(const EffectParameter& parameter) {
    return std::visit(
        [&](auto field) {
            using T = std::remove_cvref_t<decltype(EffectSettings{}.*field)>;
            if constexpr (std::is_same_v<T, double>)
                return parameter.key == "red" ? F0R_PARAM_COLOR : F0R_PARAM_DOUBLE;
            else if constexpr (std::is_same_v<T, bool>)
                return F0R_PARAM_BOOL;
            else
                return F0R_PARAM_STRING;
        },
        parameter.field);
}

std::string explanationOf(const EffectParameter& parameter) {
    std::string text = parameter.label ? parameter.label : "";
    // A switch that turns the parameter off describes the opposite.
    if (!parameter.help.empty() && parameter.flagValue)
        text += (text.empty() ? "" : ": ") + std::string(parameter.help);
    std::visit(
        [&](auto field) {
            using T = std::remove_cvref_t<decltype(EffectSettings{}.*field)>;
            if constexpr (std::is_enum_v<T>) text += choices<T>();
            if constexpr (std::is_same_v<T, double>) {
                if (parameter.key != "red")
                    text += " (0 to 1 for " + number(parameter.low) + " to " +
                            number(parameter.high) + ")";
            }
        },
        parameter.field);
    return text;
}

std::vector<FilterParameter> makeParameters() {
    std::vector<FilterParameter> made;
    for (const EffectParameter& parameter : effectParameters()) {
        // The colour's three components are one colour to a host.
        if (parameter.key == "green" || parameter.key == "blue") continue;
        made.push_back({parameter.key == "red" ? "color" : std::string(parameter.key),
                        typeOf(parameter), explanationOf(parameter), &parameter});
    }
    made.push_back({"preset", F0R_PARAM_STRING,
                    "the name of a preset saved in Pelliqo, applied under the other values",
                    nullptr});
    return made;
}

double toHost(const EffectParameter& parameter, double value) {
    if (parameter.high <= parameter.low) return 0;
    return std::clamp((value - parameter.low) / (parameter.high - parameter.low), 0.0, 1.0);
}

double fromHost(const EffectParameter& parameter, double value) {
    return parameter.low + std::clamp(value, 0.0, 1.0) * (parameter.high - parameter.low);
}

}  // namespace

std::span<const FilterParameter> filterParameters() {
    static const std::vector<FilterParameter> parameters = makeParameters();
    return parameters;
}

HostValue hostValue(const FilterParameter& parameter, const EffectSettings& settings) {
    if (!parameter.effect) return std::string();
    if (parameter.type == F0R_PARAM_COLOR) {
        return settings.color();
    }
    return std::visit(
        [&](auto field) -> HostValue {
            const auto& value = settings.*field;
            using T = std::remove_cvref_t<decltype(value)>;
            if constexpr (std::is_same_v<T, double>)
                return toHost(*parameter.effect, value);
            else if constexpr (std::is_same_v<T, bool>)
                return value;
            else if constexpr (std::is_same_v<T, std::string>)
                return value;
            else
                return std::string(rawValue(value));
        },
        parameter.effect->field);
}

bool setFromHost(const FilterParameter& parameter, const HostValue& value,
                 EffectSettings& settings) {
    if (!parameter.effect) return false;
    if (const auto* color = std::get_if<Color>(&value)) {
        if (parameter.type != F0R_PARAM_COLOR) return false;
        const auto component = [](double v) {
            return std::isfinite(v) ? std::clamp(v, 0.0, 1.0) : 0.0;
        };
        settings.setColor(
            {component(color->red), component(color->green), component(color->blue), 1});
        return true;
    }
    return std::visit(
        [&](auto field) {
            auto& target = settings.*field;
            using T = std::remove_cvref_t<decltype(target)>;
            if constexpr (std::is_same_v<T, double>) {
                const auto* number = std::get_if<double>(&value);
                if (!number || !std::isfinite(*number)) return false;
                target = fromHost(*parameter.effect, *number);
            } else if constexpr (std::is_same_v<T, bool>) {
                const auto* on = std::get_if<bool>(&value);
                if (!on) return false;
                target = *on;
            } else {
                const auto* text = std::get_if<std::string>(&value);
                if (!text) return false;
                if constexpr (std::is_same_v<T, std::string>) {
                    target = *text;
                } else {
                    const auto parsed = fromRawValue<T>(*text);
                    if (!parsed) return false;
                    target = *parsed;
                }
            }
            return true;
        },
        parameter.effect->field);
}

}  // namespace pelliqo
