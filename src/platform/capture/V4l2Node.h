#pragma once

#include <map>
#include <optional>
#include <string>
#include <vector>

#include "platform/capture/CameraMode.h"
#include "platform/capture/CaptureDevices.h"

namespace pelliqo {

// What a V4L2 device node says of itself.
struct V4l2Node {
    std::string path;  // /dev/videoN
    std::string driver;
    std::string card;       // the driver's name for the device
    bool captures = false;  // this node captures video (not metadata, not output only)
    // Of the formats it lists that can be read, all are grey: the infrared sensor for face
    // login that many laptops have beside their webcam.
    bool greyOnly = false;
    bool operator==(const V4l2Node&) const = default;
};

// The node's capabilities; nothing when it cannot be opened or is no V4L2 device.
std::optional<V4l2Node> queryNode(const std::string& path);

// Every /dev/video* node that answers, in the order of their numbers.
std::vector<V4l2Node> videoNodes();

// The /dev/v4l/by-id links, by the node each points at: names that stay when cameras are
// plugged in another order.
std::map<std::string, std::string> stableNodeNames();

// The cameras among the nodes: capture nodes, but for a loopback device the program writes
// to itself (one of ownOutputs, or named as the camera for other apps). Each is known by its
// stable name where it has one, else by its node, and named by its card; cameras that share
// a name are told apart by a number after it. Cameras that give grey only come after the others,
// so that the first camera is never a laptop's infrared sensor, and are named so.
std::vector<DeviceInfo> camerasAmong(const std::vector<V4l2Node>& nodes,
                                     const std::map<std::string, std::string>& stableNames,
                                     const std::vector<std::string>& ownOutputs);

// The formats, sizes and rates the camera at the path (a node or a stable name) offers.
std::vector<CameraMode> cameraModes(const std::string& path);

}  // namespace pelliqo
