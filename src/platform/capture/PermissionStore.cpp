#include "platform/capture/PermissionStore.h"

#include <unistd.h>

#include <QSettings>
#include <QStandardPaths>

namespace pelliqo {

namespace fs = std::filesystem;

namespace {

QString key(DeviceKind kind) {
    return kind == DeviceKind::camera ? QStringLiteral("camera") : QStringLiteral("microphone");
}

// True unless every device node of the kind is closed to us. Only the permission bits are
// asked (access), so no device is opened or disturbed.
bool nodesOpen(const fs::path& folder, std::string_view prefix, int mode) {
    std::error_code error;
    bool any = false;
    for (const auto& entry : fs::directory_iterator(folder, error)) {
        if (!entry.path().filename().string().starts_with(prefix)) continue;
        any = true;
        if (::access(entry.path().c_str(), mode) == 0) return true;
    }
    return !any;
}

}  // namespace

PermissionStore::PermissionStore()
    : PermissionStore(
          fs::path(
              QStandardPaths::writableLocation(QStandardPaths::AppConfigLocation).toStdString()) /
          "permissions.ini") {}

PermissionStore::PermissionStore(fs::path file, SystemCheck check)
    : file_(std::move(file)), check_(std::move(check)) {}

bool PermissionStore::systemAllows(DeviceKind kind) {
    return kind == DeviceKind::camera ? nodesOpen("/dev", "video", R_OK | W_OK)
                                      : nodesOpen("/dev/snd", "pcm", R_OK);
}

Authorization PermissionStore::status(DeviceKind kind) const {
    const QSettings store(QString::fromStdString(file_.string()), QSettings::IniFormat);
    if (!store.value(key(kind), false).toBool()) return Authorization::notDetermined;
    return check_(kind) ? Authorization::authorized : Authorization::denied;
}

void PermissionStore::allow(DeviceKind kind) {
    QSettings store(QString::fromStdString(file_.string()), QSettings::IniFormat);
    store.setValue(key(kind), true);
    store.sync();
}

}  // namespace pelliqo
