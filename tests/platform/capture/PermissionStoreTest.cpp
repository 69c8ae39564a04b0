#include <gtest/gtest.h>

#include <QTemporaryDir>

#include "platform/capture/PermissionStore.h"

namespace pelliqo {
namespace {

TEST(PermissionStore, AllowedIsRememberedAndDeniedWhileTheSystemRefuses) {
    QTemporaryDir dir;
    const std::filesystem::path file = dir.filePath("config/permissions.ini").toStdString();
    bool systemAllows = true;
    const auto check = [&](DeviceKind) { return systemAllows; };
    PermissionStore store(file, check);
    EXPECT_EQ(store.status(DeviceKind::camera), Authorization::notDetermined);
    store.allow(DeviceKind::camera);
    EXPECT_EQ(store.status(DeviceKind::camera), Authorization::authorized);
    EXPECT_EQ(store.status(DeviceKind::microphone), Authorization::notDetermined);
    EXPECT_EQ(PermissionStore(file, check).status(DeviceKind::camera), Authorization::authorized);
    systemAllows = false;
    EXPECT_EQ(store.status(DeviceKind::camera), Authorization::denied);
    EXPECT_EQ(store.status(DeviceKind::microphone), Authorization::notDetermined);
}

}  // namespace
}  // namespace pelliqo
