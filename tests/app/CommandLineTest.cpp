#include <gtest/gtest.h>

#include "CommandRun.h"

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

}  // namespace
}  // namespace pelliqo
