#pragma once

#include <QEventLoop>
#include <QTimer>
#include <filesystem>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "process/VideoProcessor.h"

namespace pelliqo::test {

struct Outcome {
    std::optional<Result<std::filesystem::path>> result;
    int completions = 0;
    std::vector<std::pair<double, std::string>> reports;
    bool doneBeforeCompletion = false;
};

// Runs an export to its end on the main loop.
inline Outcome exportVideo(const std::filesystem::path& input, const std::filesystem::path& output,
                           EffectSettings settings, int timeoutMs = 120000) {
    Outcome outcome;
    QEventLoop loop;
    auto processor = VideoProcessor::make(input, output, settings);
    processor->start([&](double fraction,
                         const std::string& text) { outcome.reports.emplace_back(fraction, text); },
                     [&](const Result<std::filesystem::path>& result) {
                         outcome.result = result;
                         ++outcome.completions;
                         outcome.doneBeforeCompletion =
                             !outcome.reports.empty() && outcome.reports.back().second == "Done";
                         // Let any stray callback arrive before looking.
                         QTimer::singleShot(50, &loop, &QEventLoop::quit);
                     });
    QTimer::singleShot(timeoutMs, &loop, &QEventLoop::quit);
    loop.exec();
    return outcome;
}

}  // namespace pelliqo::test
