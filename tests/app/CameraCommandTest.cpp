#include <gtest/gtest.h>

#include <QDir>
#include <QTemporaryDir>

#include "CommandRun.h"
#include "PipeWireServer.h"
#include "platform/output/LoopbackOutput.h"

namespace pelliqo {
namespace {

using test::runCommand;

TEST(CameraCommand, OtherAppsReceiveTheTestCameraForTheTimeAsked) {
    test::PipeWireServer server;
    if (!server.running()) GTEST_SKIP() << "PipeWire, WirePlumber or D-Bus is not installed";
    if (!LoopbackOutput::devices().empty()) GTEST_SKIP() << "a loopback device takes precedence";
    test::CameraViewer viewer(SPA_VIDEO_FORMAT_YUY2, 1280, 720);
    const auto run =
        runCommand({"camera", "--camera", "test", "--background", "none", "--seconds", "2"});
    ASSERT_EQ(run.code, 0) << run.err;
    EXPECT_NE(run.err.find("Other apps can now pick \"Pelliqo camera\""), std::string::npos)
        << run.err;
    EXPECT_EQ(viewer.firstFrame(std::chrono::milliseconds(0), [] {}).size(), 1280u * 720 * 2);
}

TEST(CameraCommand, WithoutAPlaceForTheCameraBothCommandsSayHowToGetOne) {
    if (!LoopbackOutput::devices().empty()) GTEST_SKIP() << "this machine has a loopback device";
    test::NoPipeWire none;
    QTemporaryDir folder;
    const auto camera = runCommand({"camera", "--camera", "test"});
    const auto record = runCommand({"record", "--camera", "test", "--microphone", "none",
                                    "--virtual-camera", "--folder", folder.path().toStdString()});
    const std::string said =
        "No camera for other apps\nInstall v4l2loopback-dkms to use Pelliqo in other apps.\n";
    EXPECT_EQ(camera.code, 1);
    EXPECT_EQ(camera.err, said);
    EXPECT_EQ(record.code, 1);
    EXPECT_EQ(record.err, said);
    EXPECT_TRUE(QDir(folder.path()).isEmpty());
    EXPECT_EQ(runCommand({"camera", "--seconds", "never"}).code, 2);
}

}  // namespace
}  // namespace pelliqo
