#include <gtest/gtest.h>

#include <sstream>

#include "app/CommandLine.h"

namespace pelliqo {
namespace {

struct Outcome {
    int code;
    std::string out;
    std::string err;
};

Outcome run(std::vector<std::string> args) {
    std::ostringstream out, err;
    const int code = runCommandLine(args, out, err);
    return {code, out.str(), err.str()};
}

TEST(CommandLine, WithoutArgumentsOrWithHelpItPrintsUsage) {
    for (auto args : {std::vector<std::string>{}, {"--help"}, {"-h"}, {"help"}}) {
        const Outcome r = run(args);
        EXPECT_EQ(r.code, 0);
        EXPECT_EQ(r.out.rfind("Usage: pelliqo", 0), 0u) << r.out;
        EXPECT_NE(r.out.find("version"), std::string::npos);
        EXPECT_TRUE(r.err.empty());
    }
}

TEST(CommandLine, UnknownCommandsAreUsageErrors) {
    const Outcome r = run({"frobnicate", "x"});
    EXPECT_EQ(r.code, 2);
    EXPECT_TRUE(r.out.empty());
    EXPECT_EQ(r.err.rfind("pelliqo: unknown command \"frobnicate\"", 0), 0u) << r.err;
    EXPECT_NE(r.err.find("Usage: pelliqo"), std::string::npos);
}

TEST(CommandLine, VersionPrintsOneLine) {
    for (auto args : {std::vector<std::string>{"--version"}, {"version"}}) {
        const Outcome r = run(args);
        EXPECT_EQ(r.code, 0);
        EXPECT_EQ(r.out.rfind("pelliqo ", 0), 0u);
        EXPECT_EQ(r.out.back(), '\n');
    }
}

}  // namespace
}  // namespace pelliqo
