#pragma once

#include <filesystem>
#include <functional>
#include <string_view>

namespace pelliqo {

enum class DeviceKind { camera, microphone };

// Authorization states, numbered as the screens compare them.
enum class Authorization { notDetermined, denied, authorized };

// Linux has no consent prompt, so the user's consent is kept in a small file of our own
// beside the settings. A kind is authorized once the user allowed it and the system lets
// us open its devices; denied when the user allowed it but the system refuses (for example
// not being in the "video" group); not determined before the user chose.
class PermissionStore {
  public:
    // Whether the system lets this user open a kind's devices.
    using SystemCheck = std::function<bool(DeviceKind)>;

    // The file beside the user's settings.
    PermissionStore();
    explicit PermissionStore(std::filesystem::path file, SystemCheck check = &systemAllows);

    Authorization status(DeviceKind kind) const;
    // Records that the user allowed the kind.
    void allow(DeviceKind kind);

    // Whether the system lets this user open the kind's device nodes (true when there are
    // none: nothing refuses).
    static bool systemAllows(DeviceKind kind);

  private:
    std::filesystem::path file_;
    SystemCheck check_;
};

}  // namespace pelliqo
