#pragma once

#include <QCoreApplication>
#include <memory>
#include <opencv2/core.hpp>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "engine/EffectSettings.h"
#include "platform/image/PixelBuffer.h"

namespace pelliqo {

// Whether the model of a quality is installed and loads; false after saying which model
// file is missing or damaged and how to repair it. Without this check every frame would
// pass through unprocessed.
bool modelReady(QualityChoice quality, std::ostream& err);
// The same for the model these settings segment with (settings that need no mask need none),
// and for the background picture they name: one that cannot be read would quietly be black.
bool settingsReady(const EffectSettings& settings, std::ostream& err);

// The application object the queues and timers of a long command need, unless one already
// exists (then nothing).
std::unique_ptr<QCoreApplication> commandApplication();

// Notes that the command ends leaving work behind that nothing can stop: a thread held in a
// read or write by a disk that stopped answering, or by a pipe nobody reads any more.
void leaveWorkRunning();

// The picture file as a frame, once what the settings need is ready; nothing after
// saying what is wrong on err.
std::optional<PixelBuffer> readInputPicture(const std::string& path, const EffectSettings& settings,
                                            std::ostream& err);

// Writes the picture (one-channel, BGR or BGRA) as an image file of the kind its name ends in
// (PNG, JPEG, …): beside the file first, and over it only once complete, so that a full disk
// or a failure never costs the file that was there. False after saying so on err.
bool writeOutputPicture(const std::string& path, const cv::Mat& pixels, std::ostream& err);

// The INPUT and OUTPUT a command was given; "-" is standard input, or standard output, as
// other tools take it (a file of that name is reached as ./-).
struct Files {
    std::string input;
    std::string output;
};
Files inputAndOutput(const std::vector<std::string>& positional);

// A terminal shows a movie's or a picture's bytes as garbage, some of them as commands that
// change it, and reading one waits on the keyboard: the commands refuse it, as compressors do.
// The problem to say, where INPUT or OUTPUT is one.
std::optional<std::string> terminalProblem(const Files& files);

// Prints "pelliqo COMMAND: problem" and the command's usage; gives the usage exit code.
int usageError(std::ostream& err, const std::string& command, const std::string& problem,
               const char* usage);

}  // namespace pelliqo
