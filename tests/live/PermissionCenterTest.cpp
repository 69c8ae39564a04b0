#include <gtest/gtest.h>

#include <QEventLoop>
#include <QTemporaryDir>
#include <QTimer>

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
        QEventLoop loop;
        QTimer poll;
        QObject::connect(&poll, &QTimer::timeout, [&] {
            if (flag) loop.quit();
        });
        poll.start(5);
        QTimer::singleShot(10000, &loop, &QEventLoop::quit);
        loop.exec();
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

TEST_F(PermissionCenterTest, StatesStayUntilRefreshedAndAMissingDoneIsFine) {
    PermissionCenter center{PermissionStore(file)};
    PermissionStore(file).allow(DeviceKind::microphone);  // decided elsewhere
    EXPECT_EQ(center.mic(), Authorization::notDetermined);
    center.refresh();
    EXPECT_EQ(center.mic(), granted(DeviceKind::microphone));

    bool settled = false;
    center.requestMic();
    QTimer::singleShot(20, [&] { settled = true; });
    runMainLoopUntil(settled);
    EXPECT_EQ(center.mic(), granted(DeviceKind::microphone));
}

}  // namespace
}  // namespace pelliqo
