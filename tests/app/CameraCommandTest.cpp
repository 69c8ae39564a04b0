#include <gtest/gtest.h>

#include <QDir>
#include <QTemporaryDir>
#include <future>

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
    auto run = std::async(std::launch::async, [] {
        return runCommand({"camera", "--camera", "test", "--background", "none", "--seconds", "4"});
    });
    test::CameraWatcher watcher("YUY2", 1280, 720);
    EXPECT_EQ(watcher.result(std::chrono::seconds(4), [] {}).frame.size(), 1280u * 720 * 2);
    const test::CommandRun ran = run.get();
    ASSERT_EQ(ran.code, 0) << ran.err;
    EXPECT_NE(ran.err.find("Other apps can now pick \"Pelliqo camera\""), std::string::npos)
        << ran.err;
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
