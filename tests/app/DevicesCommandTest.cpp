#include <gtest/gtest.h>

#include <sstream>

#include "app/CommandLine.h"
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
    std::ostringstream out, err;
    EXPECT_EQ(runCommandLine({"devices"}, out, err), 0);
    const std::string listing = out.str();
    EXPECT_TRUE(listing.starts_with("Cameras:\n") || listing.starts_with("No cameras found.\n"))
        << listing;
    EXPECT_EQ(runCommandLine({"devices", "--all"}, out, err), 2);
}

}  // namespace
}  // namespace pelliqo
