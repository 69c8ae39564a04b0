#include "app/CommandLine.h"

#include <algorithm>
#include <array>
#include <functional>
#include <string_view>

#include "app/CameraCommand.h"
#include "app/DevicesCommand.h"
#include "app/EffectOptions.h"
#include "app/MaskCommand.h"
#include "app/ProcessCommand.h"
#include "app/RecordCommand.h"
#include "app/StillCommand.h"

namespace pelliqo {

namespace {

struct Command {
    std::string_view name;
    std::string_view summary;
    std::string_view usage;
    std::function<int(const std::vector<std::string>&, std::ostream&, std::ostream&)> run;
    // The effect settings the command starts from; none for commands without effect options.
    EffectSettings (*effectDefaults)() = nullptr;
};

EffectSettings plainDefaults() {
    return {};
}

void printHelp(std::ostream& out);

int help(const std::vector<std::string>&, std::ostream& out, std::ostream&) {
    printHelp(out);
    return exitCode::ok;
}

int version(const std::vector<std::string>&, std::ostream& out, std::ostream&) {
    out << "pelliqo " << PELLIQO_VERSION << "\n";
    return exitCode::ok;
}

const std::array<Command, 8>& commands() {
    static const std::array<Command, 8> table{{
        {"mask", "Write the person mask of a picture as a grey PNG.", maskUsage, runMask},
        {"still", "Put a new background behind the person in a picture.", stillUsage, runStill,
         plainDefaults},
        {"process", "Export a processed copy of a video file.", processUsage, runProcess,
         processCommandDefaults},
        {"record", "Record the camera with a new background.", recordUsage, runRecord,
         plainDefaults},
        {"camera", "Be a camera other apps can pick, with a new background.", cameraUsage,
         runCamera, plainDefaults},
        {"devices", "List the cameras and microphones.", devicesUsage, runDevices},
        {"help", "Show this help.", "pelliqo help", help},
        {"version", "Show the version number.", "pelliqo version", version},
    }};
    return table;
}

void printHelp(std::ostream& out) {
    out << "Usage: pelliqo COMMAND [OPTIONS]\n\n"
           "Removes, blurs or replaces the background behind a person in video.\n"
           "All processing happens on this computer, with no network and no cloud.\n\n"
           "Commands:\n";
    for (const Command& command : commands()) {
        out << "  " << command.name << std::string(12 - command.name.size(), ' ') << command.summary
            << "\n";
    }
}

// "--help" or "-h" among the options (not after "--").
bool asksForHelp(const std::vector<std::string>& args) {
    for (std::size_t i = 1; i < args.size() && args[i] != "--"; ++i)
        if (args[i] == "--help" || args[i] == "-h") return true;
    return false;
}

void printUsage(const Command& command, std::ostream& out) {
    out << "Usage: " << command.usage << "\n" << command.summary << "\n";
    if (command.effectDefaults)
        out << "\nEffect options:\n" << effectOptionsHelp(command.effectDefaults());
}

}  // namespace

int runCommandLine(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
    if (args.empty() || args[0] == "--help" || args[0] == "-h") return help(args, out, err);
    if (args[0] == "--version") return version(args, out, err);
    const auto& table = commands();
    const auto found =
        std::ranges::find_if(table, [&](const Command& c) { return c.name == args[0]; });
    if (found == table.end()) {
        err << "pelliqo: unknown command \"" << args[0] << "\"\n\n";
        printHelp(err);
        return exitCode::usage;
    }
    if (asksForHelp(args)) {
        printUsage(*found, out);
        return exitCode::ok;
    }
    return found->run({args.begin() + 1, args.end()}, out, err);
}

}  // namespace pelliqo
