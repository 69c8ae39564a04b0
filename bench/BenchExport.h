#pragma once

#include <QEventLoop>
#include <filesystem>

#include "process/VideoProcessor.h"

namespace pelliqo {

// One whole export through the real processor, waiting on the main loop; true when it
// finished.
inline bool exportMovie(const std::filesystem::path& input, const std::filesystem::path& output,
                        const EffectSettings& settings) {
    QEventLoop loop;
    bool ok = false;
    auto processor = VideoProcessor::make(input, output, settings);
    processor->start([](double, const std::string&) {},
                     [&](const Result<std::filesystem::path>& result) {
                         ok = result.ok();
                         loop.quit();
                     });
    loop.exec();
    return ok;
}

}  // namespace pelliqo
