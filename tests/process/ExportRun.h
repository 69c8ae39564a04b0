#pragma once

#include <QElapsedTimer>
#include <QEventLoop>
#include <QPointer>
#include <QTimer>
#include <chrono>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "process/VideoProcessor.h"

namespace pelliqo::test {

struct Outcome {
    std::optional<Result<std::filesystem::path>> result;  // none: it did not end in time
    int completions = 0;
    std::vector<std::pair<double, std::string>> reports;
    bool doneBeforeCompletion = false;
    double seconds = 0;  // from the start to the completion

    bool ok() const { return result && result->ok(); }
};

struct ExportConditions {
    std::optional<std::uint64_t> byteLimit;  // the disk is full after this many bytes
    std::optional<std::chrono::milliseconds> cancelAfter;
    std::chrono::milliseconds timeout{120000};
};

// Runs an export on the main loop until it ends or the time is up.
inline Outcome exportVideo(const std::filesystem::path& input, const std::filesystem::path& output,
                           EffectSettings settings, ExportConditions conditions = {}) {
    auto outcome = std::make_shared<Outcome>();
    QEventLoop loop;
    QPointer<QEventLoop> waiting(&loop);
    QElapsedTimer clock;
    clock.start();
    auto processor = VideoProcessor::make(input, output, settings);
    if (conditions.byteLimit) processor->limitOutput(*conditions.byteLimit);
    processor->start(
        [outcome](double fraction, const std::string& text) {
            outcome->reports.emplace_back(fraction, text);
        },
        [outcome, waiting, clock](const Result<std::filesystem::path>& result) {
            outcome->result = result;
            outcome->seconds = static_cast<double>(clock.elapsed()) / 1000;
            ++outcome->completions;
            outcome->doneBeforeCompletion =
                !outcome->reports.empty() && outcome->reports.back().second == "Done";
            // Let any stray callback arrive before looking.
            if (waiting) QTimer::singleShot(50, waiting.data(), &QEventLoop::quit);
        });
    if (conditions.cancelAfter) {
        QTimer::singleShot(*conditions.cancelAfter, &loop,
                           [processor] { processor->cancelFlag.set(true); });
    }
    QTimer::singleShot(conditions.timeout, &loop, &QEventLoop::quit);
    loop.exec();
    return *outcome;
}

}  // namespace pelliqo::test
