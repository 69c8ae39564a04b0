#pragma once

#include <map>
#include <optional>
#include <set>
#include <span>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

namespace pelliqo {

struct OptionSpec {
    std::string_view name;  // with its dashes: "--quality"
    bool takesValue;
};

struct Arguments {
    std::map<std::string, std::string> values;  // options given with a value, last one wins
    std::set<std::string> flags;                // options given without one
    std::vector<std::string> positional;

    // The value given for an option, if any.
    std::optional<std::string> value(std::string_view name) const {
        const auto found = values.find(std::string(name));
        if (found == values.end()) return std::nullopt;
        return found->second;
    }
};

// Parses "--name value", "--name=value" and flags; "--" ends the options. An unknown
// option or a missing value gives the sentence to show with the usage.
std::variant<Arguments, std::string> parseArguments(const std::vector<std::string>& args,
                                                    std::span<const OptionSpec> specs);

}  // namespace pelliqo
