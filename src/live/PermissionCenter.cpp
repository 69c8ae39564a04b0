#include "live/PermissionCenter.h"

#include <QPointer>
#include <QProcess>
#include <QStandardPaths>

#include "platform/system/MainQueue.h"

namespace pelliqo {

PermissionCenter::PermissionCenter(PermissionStore store, QObject* parent)
    : QObject(parent),
      store_(std::move(store)),
      camera_(store_.status(DeviceKind::camera)),
      mic_(store_.status(DeviceKind::microphone)) {}

void PermissionCenter::refresh() {
    const Authorization camera = store_.status(DeviceKind::camera);
    const Authorization mic = store_.status(DeviceKind::microphone);
    if (camera != camera_) {
        camera_ = camera;
        emit cameraChanged();
    }
    if (mic != mic_) {
        mic_ = mic;
        emit micChanged();
    }
}

void PermissionCenter::requestCamera(std::function<void()> done) {
    request(DeviceKind::camera, std::move(done));
}

void PermissionCenter::requestMic(std::function<void()> done) {
    request(DeviceKind::microphone, std::move(done));
}

void PermissionCenter::request(DeviceKind kind, std::function<void()> done) {
    store_.allow(kind);
    // The answer comes later on the main queue, as the caller expects of a consent request.
    mainQueue::async([center = QPointer<PermissionCenter>(this), done = std::move(done)] {
        if (center) center->refresh();
        if (done) done();
    });
}

void PermissionCenter::openSettings(std::string_view pane) {
    const bool camera = pane == "Camera";
    if (!camera && pane != "Microphone") return;
    if (!QStandardPaths::findExecutable(QStringLiteral("gnome-control-center")).isEmpty()) {
        QProcess::startDetached(QStringLiteral("gnome-control-center"),
                                {camera ? QStringLiteral("camera") : QStringLiteral("microphone")});
    } else if (!QStandardPaths::findExecutable(QStringLiteral("systemsettings")).isEmpty()) {
        QProcess::startDetached(
            QStringLiteral("systemsettings"),
            {camera ? QStringLiteral("kcm_camera") : QStringLiteral("kcm_pulseaudio")});
    }
}

}  // namespace pelliqo
