#pragma once

#include <optional>
#include <span>
#include <string>
#include <variant>

#include "engine/Color.h"
#include "engine/EffectParameters.h"

namespace pelliqo {

// A host's value for one filter parameter, in frei0r's kinds.
using HostValue = std::variant<double, bool, Color, std::string>;

// One parameter of the frei0r filter: an effect parameter as a host sees it (numbers in 0…1
// across the table's range, choices and paths as text, the colour as one colour), or the
// name of a saved preset.
struct FilterParameter {
    std::string name;                         // the table's key, which saved projects refer to
    int type = 0;                             // F0R_PARAM_*
    std::string explanation;                  // the table's label and help, and a choice's words
    const EffectParameter* effect = nullptr;  // nothing: the preset
};

// All of them, in the order hosts number them.
std::span<const FilterParameter> filterParameters();

// The effect parameter's value in the settings as the host's kind; for the colour, the
// three components.
HostValue hostValue(const FilterParameter& parameter, const EffectSettings& settings);
// Writes a host's value into the settings; false when it does not fit (an unknown word, a
// value of another kind), which leaves them as they were.
bool setFromHost(const FilterParameter& parameter, const HostValue& value,
                 EffectSettings& settings);

}  // namespace pelliqo
