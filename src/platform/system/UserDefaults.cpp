#include "platform/system/UserDefaults.h"

namespace pelliqo {

std::unique_ptr<QSettings> openUserDefaults() {
    return std::make_unique<QSettings>(QStringLiteral("Pelliqo"), QStringLiteral("Pelliqo"));
}

}  // namespace pelliqo
