#include <gtest/gtest.h>

#include "CommandRun.h"
#include "app/DevicesCommand.h"

namespace pelliqo {
namespace {

TEST(DevicesCommand, RunsOnAMachineWithoutDevicesAndRefusesArguments) {
    const auto run = test::runCommand({"devices"});
    EXPECT_EQ(run.code, 0);
    const std::string& listing = run.out;
    EXPECT_TRUE(listing.starts_with("Cameras:\n") || listing.starts_with("No cameras found.\n"))
        << listing;
    EXPECT_EQ(test::runCommand({"devices", "--all"}).code, 2);
}

}  // namespace
}  // namespace pelliqo
