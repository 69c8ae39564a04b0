#include "app/Arguments.h"

#include <algorithm>

namespace pelliqo {

std::variant<Arguments, std::string> parseArguments(const std::vector<std::string>& args,
                                                    std::span<const OptionSpec> specs) {
    Arguments parsed;
    bool optionsEnded = false;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (optionsEnded || !arg.starts_with("--")) {
            parsed.positional.push_back(arg);
            continue;
        }
        if (arg == "--") {
            optionsEnded = true;
            continue;
        }
        const auto eq = arg.find('=');
        const std::string name = arg.substr(0, eq);
        const auto known = std::ranges::find(specs, name, &OptionSpec::name);
        if (known == specs.end()) return "unknown option " + name;
        if (!known->takesValue) {
            if (eq != std::string::npos) return name + " takes no value";
            parsed.flags.insert(name);
        } else if (eq != std::string::npos) {
            parsed.values[name] = arg.substr(eq + 1);
        } else if (i + 1 < args.size()) {
            parsed.values[name] = args[++i];
        } else {
            return name + " needs a value";
        }
    }
    return parsed;
}

}  // namespace pelliqo
