#include <gtest/gtest.h>

#include <QTemporaryDir>

#include "MainLoop.h"
#include "live/PermissionCenter.h"

namespace pelliqo {
namespace {

class PermissionCenterTest : public testing::Test {
  protected:
    QTemporaryDir dir;
    std::filesystem::path file = dir.filePath("permissions.ini").toStdString();

    static Authorization granted(DeviceKind kind) {
        return PermissionStore::systemAllows(kind) ? Authorization::authorized
                                                   : Authorization::denied;
    }
    static void runMainLoopUntil(const bool& flag) {
        test::runMainLoopUntil([&] { return flag; });
    }
};

TEST_F(PermissionCenterTest, NothingIsDecidedBeforeTheUserChooses) {
    PermissionCenter center{PermissionStore(file)};
    EXPECT_EQ(center.camera(), Authorization::notDetermined);
    EXPECT_EQ(center.mic(), Authorization::notDetermined);
}

TEST_F(PermissionCenterTest, ARequestRecordsConsentAndTheNewStateIsThereBeforeDone) {
    PermissionCenter center{PermissionStore(file)};
    bool done = false;
    Authorization seen = Authorization::notDetermined;
    center.requestCamera([&] {
        seen = center.camera();
        done = true;
    });
    EXPECT_EQ(center.camera(), Authorization::notDetermined);  // the answer comes later
    runMainLoopUntil(done);
    ASSERT_TRUE(done);
    EXPECT_EQ(seen, granted(DeviceKind::camera));
    EXPECT_EQ(center.mic(), Authorization::notDetermined);

    // Kept for the next start.
    EXPECT_EQ(PermissionCenter{PermissionStore(file)}.camera(), granted(DeviceKind::camera));
}

}  // namespace
}  // namespace pelliqo
