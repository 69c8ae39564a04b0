#include "app/ProcessCommand.h"

#include <sys/stat.h>
#include <unistd.h>

#include <QEventLoop>
#include <QTimer>
#include <filesystem>
#include <iostream>

#include "app/Arguments.h"
#include "app/CommandLine.h"
#include "app/CommandSupport.h"
#include "app/EffectOptions.h"
#include "app/OutputPipe.h"
#include "app/PipeSpool.h"
#include "engine/OutputNaming.h"
#include "engine/PresetStore.h"
#include "errors/AppErr.h"
#include "errors/ErrorInfo.h"
#include "errors/Texts.h"
#include "platform/system/Interrupt.h"
#include "platform/system/UserDefaults.h"
#include "process/ProcessModel.h"
#include "process/VideoProcessor.h"

namespace pelliqo {

namespace {

namespace fs = std::filesystem;

int usageError(std::ostream& err, const std::string& problem) {
    return pelliqo::usageError(err, "process", problem,
                               usageWithEffectOptions(processUsage).c_str());
}

// A bar on a terminal, plain percentage lines otherwise.
class ProgressDisplay {
  public:
    explicit ProgressDisplay(std::ostream& err)
        : err_(err), terminal_(isatty(STDERR_FILENO) == 1) {}

    void show(double fraction, const std::string& text) {
        const int percent = static_cast<int>(fraction * 100);
        if (terminal_) {
            const int filled = percent * 30 / 100;
            err_ << "\r[" << std::string(filled, '#') << std::string(30 - filled, ' ') << "] "
                 << percent << "%  " << text << "\033[K" << std::flush;
        } else if (percent != lastPercent_) {
            err_ << percent << "%\n" << std::flush;
        }
        lastPercent_ = percent;
    }
    void end() {
        if (terminal_) err_ << "\n";
    }

  private:
    std::ostream& err_;
    bool terminal_;
    int lastPercent_ = -1;
};

// Whether the movie goes to standard output itself (`/dev/stdout` on a pipe), where its
// name printed after it would spoil it.
bool isStandardOutput(const fs::path& output) {
    struct stat named {
    }, standard{};
    return ::stat(output.c_str(), &named) == 0 && ::fstat(STDOUT_FILENO, &standard) == 0 &&
           named.st_dev == standard.st_dev && named.st_ino == standard.st_ino;
}

// Cancelled (130), or the report of what stopped it.
int reportFailure(const PlatformError& error, std::ostream& err) {
    if (isCancellation(error)) {
        err << text::cancelled << "\n";
        return 130;
    }
    const ErrorInfo info = ErrorInfo::make(text::title::processingStopped, error, Failed::files);
    err << info.title << "\n" << info.message << "\n";
    return exitCode::failure;
}

}  // namespace

EffectSettings processCommandDefaults() {
    EffectSettings settings = ProcessModel::defaultSettings();
    settings.useSubjectMask = false;
    return settings;
}

int runProcess(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
    const auto parsed = parseArguments(args, effectOptionSpecs());
    if (const auto* problem = std::get_if<std::string>(&parsed)) return usageError(err, *problem);
    const auto& arguments = std::get<Arguments>(parsed);
    if (arguments.positional.size() != 2) return usageError(err, "needs INPUT and OUTPUT");
    EffectSettings settings = processCommandDefaults();
    {
        const PresetStore presets(openUserDefaults());
        if (auto problem = applyEffectOptions(arguments, settings, presets))
            return usageError(err, *problem);
    }
    const Files files = inputAndOutput(arguments.positional);
    if (const auto problem = terminalProblem(files)) return usageError(err, *problem);
    const fs::path input = files.input;
    const fs::path output = files.output;
    if (sameLocation(input, output)) {
        err << text::title::chooseAnotherName << "\n" << text::report::sameFile << "\n";
        return exitCode::failure;
    }
    if (!settingsReady(settings, err)) return exitCode::failure;
    const auto app = commandApplication();

    InterruptGuard guard;
    const auto spool = PipeSpool::of(input);
    if (!spool) {
        const int code = reportFailure(spool.error(), err);
        // A full temporary folder is not the destination's disk: say which one failed.
        if (code == exitCode::failure)
            err << "A movie from a pipe is first copied into " << PipeSpool::folder().string()
                << "; TMPDIR names another folder.\n";
        return code;
    }
    const auto reader = OutputPipe::of(output, err);
    if (!reader) return reportFailure(reader.error(), err);
    ProgressDisplay display(err);
    QEventLoop loop;
    int code = exitCode::ok;
    auto processor =
        VideoProcessor::make(spool.value() ? spool.value()->path() : input, output, settings);
    // What the export says after the command gave up on it finds the command over.
    const auto over = std::make_shared<bool>(false);
    QTimer watch;
    QObject::connect(&watch, &QTimer::timeout, [&] {
        if (!InterruptGuard::interrupted() || processor->cancelFlag.get()) return;
        processor->cancelFlag.set(true);
        // Stuck where the cancel cannot reach, past the bound, the command ends without it.
        QTimer::singleShot(static_cast<int>(VideoProcessor::cancelBound * 1000), &loop, [&] {
            *over = true;
            display.end();
            code = reportFailure(AppErr::cancelled(), err);
            leaveWorkRunning();
            loop.quit();
        });
    });
    watch.start(100);
    processor->start(
        [&, over](double fraction, const std::string& text) {
            if (!*over) display.show(fraction, text);
        },
        [&, over](const Result<fs::path>& result) {
            if (*over) return;
            display.end();
            if (result) {
                if (!isStandardOutput(output)) out << result.value().string() << "\n";
            } else {
                code = reportFailure(result.error(), err);
            }
            loop.quit();
        });
    loop.exec();
    return code;
}

}  // namespace pelliqo
