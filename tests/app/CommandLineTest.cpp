#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>

#include <QTemporaryDir>
#include <thread>

#include "CommandRun.h"
#include "Processes.h"

namespace pelliqo {
namespace {

using test::CommandRun;

CommandRun run(const std::vector<std::string>& args) {
    return test::runCommand(args);
}

TEST(CommandLine, UsageIsPrintedOnHelpPerCommandAndUnknownCommandsAreUsageErrors) {
    for (auto args : {std::vector<std::string>{}, {"--help"}, {"-h"}, {"help"}}) {
        const CommandRun r = run(args);
        EXPECT_EQ(r.code, 0);
        EXPECT_EQ(r.out.rfind("Usage: pelliqo", 0), 0u) << r.out;
    }
    const CommandRun r = run({"frobnicate", "x"});
    EXPECT_EQ(r.code, 2);
    EXPECT_TRUE(r.out.empty());
    EXPECT_EQ(r.err.rfind("pelliqo: unknown command \"frobnicate\"", 0), 0u) << r.err;
    EXPECT_NE(r.err.find("Usage: pelliqo"), std::string::npos);

    // A command's help: its usage, and nothing run.
    const CommandRun process = run({"process", "--blur-strength", "9", "--help", "in.mp4"});
    EXPECT_EQ(process.code, 0);
    EXPECT_EQ(process.out.rfind("Usage: pelliqo process", 0), 0u) << process.out;
    // The effect options, with the command's own default.
    EXPECT_NE(process.out.find("--quality fast|balanced|accurate\n"), std::string::npos);
    EXPECT_NE(process.out.find("(default accurate)"), std::string::npos) << process.out;
    EXPECT_NE(run({"still", "-h"}).out.find("(default fast)"), std::string::npos);
    EXPECT_EQ(run({"mask", "-h"}).out.find("Effect options"), std::string::npos);
    EXPECT_EQ(run({"--version"}).out, run({"version"}).out);
    // After "--" it is a file name.
    EXPECT_EQ(run({"devices", "--", "--help"}).code, 2);
}

// Ended from outside, as at a logout, the window goes as a closed one does (which finishes a
// recording), even with a sheet open that only its buttons close; started by nohup, it stays
// when its terminal closes. A broken pipe does not end it.
TEST(CommandLine, TheWindowEndsCleanlyWhenTerminated) {
    QTemporaryDir home;
    const int child =
        test::spawnProgram({"nohup", PELLIQO_EXECUTABLE}, home.filePath("log").toStdString(),
                           {{"QT_QPA_PLATFORM", "offscreen"},
                            {"HOME", home.path().toStdString()},
                            {"XDG_CONFIG_HOME", home.filePath("config").toStdString()}});
    ASSERT_GT(child, 0);
    for (int i = 0; i < 600 && !test::catchesSignal(child, SIGTERM); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    EXPECT_FALSE(test::catchesSignal(child, SIGHUP)) << "the hang-up nohup ignores would end it";
    kill(child, SIGPIPE);  // as a write to a pipe whose reader went away raises
    kill(child, SIGTERM);
    const auto status = test::waitWithin(child, std::chrono::seconds(30));
    ASSERT_TRUE(status) << "no end within 30 s";
    EXPECT_TRUE(WIFEXITED(*status) && WEXITSTATUS(*status) == 0) << *status;
}

}  // namespace
}  // namespace pelliqo
