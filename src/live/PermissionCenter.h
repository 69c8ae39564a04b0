#pragma once

#include <QObject>
#include <functional>
#include <string_view>

#include "platform/capture/PermissionStore.h"

namespace pelliqo {

// Whether the user allowed the camera and the microphone, for the screens. Used on the
// main thread; the states change only through the constructor, refresh() and the requests.
class PermissionCenter : public QObject {
    Q_OBJECT

  public:
    explicit PermissionCenter(PermissionStore store = PermissionStore(), QObject* parent = nullptr);

    Authorization camera() const { return camera_; }
    Authorization mic() const { return mic_; }

    // Reads both states again, camera first.
    void refresh();
    // Records the user's consent, then (on the main queue) refreshes and calls done.
    void requestCamera(std::function<void()> done = {});
    void requestMic(std::function<void()> done = {});

    // Opens the desktop's privacy or sound settings for "Camera" or "Microphone" when
    // GNOME's or KDE's settings are installed; otherwise does nothing.
    static void openSettings(std::string_view pane);

  signals:
    void cameraChanged();
    void micChanged();

  private:
    void request(DeviceKind kind, std::function<void()> done);

    PermissionStore store_;
    Authorization camera_;
    Authorization mic_;
};

}  // namespace pelliqo
