#pragma once

#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "app/Arguments.h"
#include "errors/ErrorInfo.h"
#include "live/RecordModel.h"

namespace pelliqo {

// What the two live commands (record, camera) share.

inline constexpr std::string_view cameraAccessOff = "Camera access is turned off for Pelliqo.";

// A live command's options: its own, then the effect options.
std::vector<OptionSpec> withEffectOptions(std::initializer_list<OptionSpec> own);

// Reads what both take besides their own options: --seconds (above 0), and the effect
// options, a preset first; the camera always uses the person mask. The problem to show with
// the usage, if any.
std::optional<std::string> readLiveOptions(const Arguments& arguments,
                                           std::optional<double>& seconds,
                                           EffectSettings& settings);

// A report as the title and its message, a line each.
void printError(std::ostream& err, const ErrorInfo& info);

// Chooses the camera with this id (or leaves the default); false after saying it is unknown.
bool chooseCamera(CameraSource& camera, const std::optional<std::string>& id, std::ostream& err);

// Switches on the camera other apps see; false after saying why it cannot be had.
bool startVirtualCamera(RecordModel& model, std::ostream& err);

}  // namespace pelliqo
