#pragma once

#include <optional>
#include <span>
#include <string>

#include "app/Arguments.h"
#include "engine/EffectSettings.h"

namespace pelliqo {

class PresetStore;

// The effect options every processing command takes.
std::span<const OptionSpec> effectOptionSpecs();

// The options for a usage line (wrapped), and each with its meaning and its value in the
// command's defaults, for the help.
std::string effectOptionsUsage();
// A command's usage followed by the effect options it takes.
std::string usageWithEffectOptions(const char* usage);
std::string effectOptionsHelp(const EffectSettings& defaults);

// Applies the options to the settings: a preset first (from the store), then every other
// option, whatever their order. --color and --picture choose their background unless
// --background is given. Gives the problem when a value is not of its type or the preset
// does not exist.
std::optional<std::string> applyEffectOptions(const Arguments& arguments, EffectSettings& settings,
                                              const PresetStore& presets);

// "R,G,B" with components 0…1, or "#rrggbb".
std::optional<Color> parseColor(const std::string& text);
// A finite decimal number, nothing else.
std::optional<double> parseNumber(const std::string& text);

}  // namespace pelliqo
