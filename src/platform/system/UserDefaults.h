#pragma once

#include <QSettings>
#include <memory>

namespace pelliqo {

// The user-defaults store: Qt's settings for organisation and application "Pelliqo".
std::unique_ptr<QSettings> openUserDefaults();

}  // namespace pelliqo
