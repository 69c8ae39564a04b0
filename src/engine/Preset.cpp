#include "engine/Preset.h"

namespace pelliqo {

namespace {
PlatformError invalid(const char* what) {
    return PlatformError{std::string(domain::decoding), 0, what, std::nullopt, nullptr};
}
}  // namespace

QJsonObject Preset::toJson() const {
    QJsonObject json;
    json.insert(QLatin1StringView("id"), id.toString(QUuid::WithoutBraces));
    json.insert(QLatin1StringView("name"), QString::fromStdString(name));
    json.insert(QLatin1StringView("settings"), settings.toJson());
    return json;
}

Result<Preset> Preset::fromJson(const QJsonValue& json) {
    const QJsonObject object = json.toObject();
    if (!json.isObject()) return invalid("A preset is not an object.");
    const QJsonValue id = object.value(QLatin1StringView("id"));
    const QJsonValue name = object.value(QLatin1StringView("name"));
    const QUuid uuid = QUuid::fromString(id.toString());
    if (!id.isString() || uuid.isNull()) return invalid("A preset has no valid \"id\".");
    if (!name.isString()) return invalid("A preset has no \"name\".");
    auto settings = EffectSettings::fromJson(object.value(QLatin1StringView("settings")));
    if (!settings) return settings.error();
    return Preset{uuid, name.toString().toStdString(), std::move(settings).value()};
}

}  // namespace pelliqo
