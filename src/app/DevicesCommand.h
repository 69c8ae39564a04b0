#pragma once

#include <ostream>
#include <string>
#include <vector>

#include "platform/capture/CaptureDevices.h"

namespace pelliqo {

inline constexpr auto devicesUsage = "pelliqo devices";

// Lists the cameras and microphones with their ids, for --camera and --microphone.
int runDevices(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);

// The listing as printed.
std::string deviceListing(const std::vector<DeviceInfo>& cameras,
                          const std::vector<DeviceInfo>& microphones);

}  // namespace pelliqo
