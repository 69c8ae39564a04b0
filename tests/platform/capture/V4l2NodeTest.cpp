#include <gtest/gtest.h>

#include "platform/capture/V4l2Node.h"

namespace pelliqo {
namespace {

// Two webcams of one make, each with a metadata node, and loopback devices.
TEST(V4l2Node, CamerasAreCaptureNodesKnownByStableNamesAndToldApart) {
    const std::vector<V4l2Node> nodes{
        {"/dev/video0", "uvcvideo", "HD Webcam", true},
        {"/dev/video1", "uvcvideo", "HD Webcam", false},
        {"/dev/video2", "uvcvideo", "HD Webcam", true},
        {"/dev/video3", "uvcvideo", "HD Webcam", false},
        {"/dev/video4", "v4l2 loopback", "Pelliqo camera", true},
        {"/dev/video5", "v4l2 loopback", "OBS Virtual Camera", true},
        {"/dev/video6", "v4l2 loopback", "Dummy video device", false}};
    const std::map<std::string, std::string> stable{
        {"/dev/video0", "/dev/v4l/by-id/usb-Acme_HD_Webcam_0001-video-index0"},
        {"/dev/video1", "/dev/v4l/by-id/usb-Acme_HD_Webcam_0001-video-index1"}};
    EXPECT_EQ(camerasAmong(nodes, stable, {}),
              (std::vector<DeviceInfo>{
                  {"/dev/v4l/by-id/usb-Acme_HD_Webcam_0001-video-index0", "HD Webcam"},
                  {"/dev/video2", "HD Webcam (2)"},
                  {"/dev/video5", "OBS Virtual Camera"}}));
    // A loopback device under another name is left out while this program writes to it.
    EXPECT_EQ(camerasAmong(nodes, stable, {"/dev/video5"}).size(), 2u);
}

// Laptops with face login have an infrared sensor beside the webcam, under the same name and
// sometimes with the lower number; it gives grey pictures only.
TEST(V4l2Node, ALaptopsInfraredSensorIsNeverTheFirstCamera) {
    const std::vector<V4l2Node> nodes{{"/dev/video0", "uvcvideo", "Integrated Camera", true, true},
                                      {"/dev/video1", "uvcvideo", "Integrated Camera", false},
                                      {"/dev/video2", "uvcvideo", "Integrated Camera", true},
                                      {"/dev/video3", "uvcvideo", "Integrated Camera", false}};
    EXPECT_EQ(camerasAmong(nodes, {}, {}),
              (std::vector<DeviceInfo>{{"/dev/video2", "Integrated Camera"},
                                       {"/dev/video0", "Integrated Camera (black and white)"}}));
}

}  // namespace
}  // namespace pelliqo
