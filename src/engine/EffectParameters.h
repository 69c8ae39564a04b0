#pragma once

#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <variant>

#include "engine/EffectSettings.h"

namespace pelliqo {

// Which field of the settings a parameter is, and so its type.
using EffectField = std::variant<BackgroundKind EffectSettings::*, PictureFit EffectSettings::*,
                                 QualityChoice EffectSettings::*, double EffectSettings::*,
                                 std::string EffectSettings::*, bool EffectSettings::*>;

// One effect parameter as everything outside the settings record sees it: the JSON codec,
// the command line and its help, and the settings panel all read this table, so a
// parameter is declared once here (its default is the record's own).
struct EffectParameter {
    std::string_view key;  // in stored JSON, in this table's order
    EffectField field;
    // Numbers: the range the panel's slider offers (the record itself is not clamped).
    double low = 0;
    double high = 0;
    // The command-line option; empty when the parameter has none of its own. A switch
    // option sets the field to flagValue.
    std::string_view flag = {};
    bool flagValue = true;
    // The panel's name for it (for a colour component, the colour's); empty: not named
    // there. Marked for translation in the "EffectParameters" context.
    const char* label = nullptr;
    // A choice's label for each of its values, in their declared order; translated as above.
    std::span<const char* const> choiceLabels = {};
    std::string_view help = {};  // the command-line help's description
};

// All of them, in the order of the stored JSON.
std::span<const EffectParameter> effectParameters();

// The parameter of a field.
const EffectParameter& effectParameter(EffectField field);

// A parameter's value in the given settings, as the command-line help shows it.
std::string valueText(const EffectParameter& parameter, const EffectSettings& settings);
// What its option takes, for the usage: the choices, "N", "PATH", or nothing for a switch.
std::string valueHint(const EffectParameter& parameter);

}  // namespace pelliqo
