#include <gtest/gtest.h>

#include "CommandRun.h"

namespace pelliqo {
namespace {

using test::CommandRun;

CommandRun run(const std::vector<std::string>& args) {
    return test::runCommand(args);
}

TEST(CommandLine, WithoutArgumentsOrWithHelpItPrintsUsage) {
    for (auto args : {std::vector<std::string>{}, {"--help"}, {"-h"}, {"help"}}) {
        const CommandRun r = run(args);
        EXPECT_EQ(r.code, 0);
        EXPECT_EQ(r.out.rfind("Usage: pelliqo", 0), 0u) << r.out;
        EXPECT_NE(r.out.find("version"), std::string::npos);
        EXPECT_TRUE(r.err.empty());
    }
}

TEST(CommandLine, UnknownCommandsAreUsageErrors) {
    const CommandRun r = run({"frobnicate", "x"});
    EXPECT_EQ(r.code, 2);
    EXPECT_TRUE(r.out.empty());
    EXPECT_EQ(r.err.rfind("pelliqo: unknown command \"frobnicate\"", 0), 0u) << r.err;
    EXPECT_NE(r.err.find("Usage: pelliqo"), std::string::npos);
}

TEST(CommandLine, VersionPrintsOneLine) {
    for (auto args : {std::vector<std::string>{"--version"}, {"version"}}) {
        const CommandRun r = run(args);
        EXPECT_EQ(r.code, 0);
        EXPECT_EQ(r.out.rfind("pelliqo ", 0), 0u);
        EXPECT_EQ(r.out.back(), '\n');
    }
}

}  // namespace
}  // namespace pelliqo
