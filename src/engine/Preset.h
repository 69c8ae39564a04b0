#pragma once

#include <QJsonObject>
#include <QUuid>
#include <string>

#include "engine/EffectSettings.h"
#include "errors/Result.h"

namespace pelliqo {

// Effect settings saved under a name.
struct Preset {
    QUuid id;
    std::string name;
    EffectSettings settings;

    QJsonObject toJson() const;
    // Needs "id" (a UUID), "name" and complete "settings".
    static Result<Preset> fromJson(const QJsonValue& json);

    bool operator==(const Preset&) const = default;
};

}  // namespace pelliqo
