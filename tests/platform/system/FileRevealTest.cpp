#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdlib>
#include <fstream>

#include "Damage.h"
#include "MainLoop.h"
#include "Processes.h"
#include "platform/system/FileReveal.h"

namespace pelliqo {
namespace {

namespace fs = std::filesystem;

void writeScript(const std::string& path, const std::string& body) {
    std::ofstream(path) << "#!/bin/sh\n" << body << "\n";
    chmod(path.c_str(), 0755);
}

// A session bus that starts the file manager when asked, as GNOME's does for Files: here one
// that notes it was started and fails.
TEST(FileReveal, AFileManagerTheBusStartsIsAskedAndTheFolderOpensWhenItFails) {
    test::Daemons daemons;
    const std::string dir = daemons.folder();
    fs::create_directories(dir + "/services");
    fs::create_directories(dir + "/bin");
    std::ofstream(dir + "/bus.conf")
        << "<busconfig><type>session</type><listen>unix:path=" << dir << "/bus</listen>"
        << "<servicedir>" << dir << "/services</servicedir><policy context=\"default\">"
        << "<allow send_destination=\"*\"/><allow receive_sender=\"*\"/><allow own=\"*\"/>"
        << "</policy></busconfig>";
    std::ofstream(dir + "/services/fm.service")
        << "[D-BUS Service]\nName=org.freedesktop.FileManager1\nExec=" << dir << "/fm\n";
    writeScript(dir + "/fm", "touch '" + dir + "/started'; exit 1");
    writeScript(dir + "/bin/xdg-open", "echo \"$1\" > '" + dir + "/opened'");
    if (!daemons.start({"dbus-daemon", "--config-file=" + dir + "/bus.conf", "--nofork"}, {},
                       "bus"))
        GTEST_SKIP() << "D-Bus is not installed";
    const test::ScopedEnvironment bus("DBUS_SESSION_BUS_ADDRESS", "unix:path=" + dir + "/bus");
    const test::ScopedEnvironment path("PATH", dir + "/bin:" + std::getenv("PATH"));

    revealInFileManager(std::vector<fs::path>{"/videos/a.mp4", "/videos/a (original).mp4"});
    EXPECT_TRUE(test::runMainLoopUntil([&] { return fs::exists(dir + "/started"); }));
    ASSERT_TRUE(test::runMainLoopUntil([&] { return fs::exists(dir + "/opened"); }, 30));
    EXPECT_TRUE(
        test::runMainLoopUntil([&] { return test::bytesOf(dir + "/opened") == "/videos\n"; }));
}

}  // namespace
}  // namespace pelliqo
