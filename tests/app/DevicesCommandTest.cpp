#include <gtest/gtest.h>

#include "CommandRun.h"
#include "app/DevicesCommand.h"

namespace pelliqo {
namespace {

TEST(DevicesCommand, ListsIdsAndNamesOrSaysThereAreNone) {
    EXPECT_EQ(deviceListing({}, {}), "No cameras found.\nNo microphones found.\n");
    EXPECT_EQ(deviceListing({{"/dev/video0", "Integrated Camera"}, {"/dev/video2", "USB Camera"}},
                            {{"alsa_input.pci-0000_00_1f.3.analog-stereo", "Built-in Audio"}}),
              "Cameras:\n  /dev/video0\tIntegrated Camera\n  /dev/video2\tUSB Camera\n"
              "Microphones:\n  alsa_input.pci-0000_00_1f.3.analog-stereo\tBuilt-in Audio\n");
}

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
