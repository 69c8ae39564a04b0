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

inline constexpr auto effectOptionsUsage =
    "[--preset NAME] [--background none|blur|color|picture|transparent]\n"
    "       [--blur-strength N] [--color R,G,B | --color '#rrggbb'] [--picture PATH]\n"
    "       [--fit fill|fit] [--quality fast|balanced|accurate] [--edge-softness N]\n"
    "       [--edge-shift N] [--no-reduce-flicker] [--show-mask]";

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
