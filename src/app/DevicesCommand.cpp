#include "app/DevicesCommand.h"

#include "app/CommandLine.h"
#include "app/CommandSupport.h"

namespace pelliqo {

namespace {

std::string section(const char* title, const std::vector<DeviceInfo>& devices, const char* none) {
    if (devices.empty()) return std::string(none) + "\n";
    std::string text = std::string(title) + "\n";
    for (const DeviceInfo& d : devices) text += "  " + d.id + "\t" + d.name + "\n";
    return text;
}

}  // namespace

std::string deviceListing(const std::vector<DeviceInfo>& cameras,
                          const std::vector<DeviceInfo>& microphones) {
    return section("Cameras:", cameras, "No cameras found.") +
           section("Microphones:", microphones, "No microphones found.");
}

int runDevices(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
    if (!args.empty()) return usageError(err, "devices", "takes no arguments", devicesUsage);
    out << deviceListing(listCameras(), listMicrophones());
    return exitCode::ok;
}

}  // namespace pelliqo
