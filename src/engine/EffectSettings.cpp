#include "engine/EffectSettings.h"

#include <cmath>

#include "engine/EffectParameters.h"

namespace pelliqo {

namespace {

enum DecodingCode { notAnObject = 1, missingKey, wrongType, unknownValue };

PlatformError decodingError(DecodingCode code, const QString& what) {
    return PlatformError{std::string(domain::decoding), code, what.toStdString(), std::nullopt,
                         nullptr};
}

// Reads the keys one by one; the first failure is kept and later reads do nothing.
class StrictReader {
  public:
    explicit StrictReader(const QJsonObject& object) : object_(object) {}

    void read(QLatin1StringView name, double& out) {
        if (const QJsonValue* v = find(name, QJsonValue::Double)) out = v->toDouble();
    }
    void read(QLatin1StringView name, bool& out) {
        if (const QJsonValue* v = find(name, QJsonValue::Bool)) out = v->toBool();
    }
    void read(QLatin1StringView name, std::string& out) {
        if (const QJsonValue* v = find(name, QJsonValue::String)) out = v->toString().toStdString();
    }
    template <class E>
    requires std::is_enum_v<E>
    void read(QLatin1StringView name, E& out) {
        const QJsonValue* v = find(name, QJsonValue::String);
        if (v == nullptr) return;
        const auto parsed = fromRawValue<E>(v->toString().toStdString());
        if (parsed) {
            out = *parsed;
        } else {
            error_ = decodingError(
                unknownValue,
                QStringLiteral("\"%1\" is not a valid value for \"%2\".").arg(v->toString(), name));
        }
    }

    const std::optional<PlatformError>& error() const { return error_; }

  private:
    const QJsonValue* find(QLatin1StringView name, QJsonValue::Type type) {
        if (error_) return nullptr;
        const auto it = object_.constFind(name);
        if (it == object_.constEnd()) {
            error_ =
                decodingError(missingKey, QStringLiteral("The key \"%1\" is missing.").arg(name));
            return nullptr;
        }
        current_ = it.value();
        if (current_.type() != type) {
            error_ = decodingError(wrongType,
                                   QStringLiteral("The key \"%1\" has the wrong type.").arg(name));
            return nullptr;
        }
        return &current_;
    }

    const QJsonObject& object_;
    QJsonValue current_;
    std::optional<PlatformError> error_;
};

QJsonValue jsonValue(double value) {
    return value;
}
QJsonValue jsonValue(bool value) {
    return value;
}
QJsonValue jsonValue(const std::string& value) {
    return QString::fromStdString(value);
}
template <class E>
requires std::is_enum_v<E> QJsonValue jsonValue(E value) {
    return QString::fromLatin1(rawValue(value));
}

QLatin1StringView keyOf(const EffectParameter& parameter) {
    return QLatin1StringView(parameter.key.data(), static_cast<qsizetype>(parameter.key.size()));
}

}  // namespace

Color EffectSettings::color() const {
    return Color{red, green, blue, 1.0};
}

void EffectSettings::setColor(const Color& value) {
    const bool expressible =
        std::isfinite(value.red) && std::isfinite(value.green) && std::isfinite(value.blue);
    red = expressible ? value.red : 0;
    green = expressible ? value.green : 0;
    blue = expressible ? value.blue : 0;
}

bool EffectSettings::isEncodable() const {
    for (const EffectParameter& p : effectParameters()) {
        const auto* number = std::get_if<double EffectSettings::*>(&p.field);
        if (number && !std::isfinite(this->**number)) return false;
    }
    return true;
}

QJsonObject EffectSettings::toJson() const {
    QJsonObject json;
    for (const EffectParameter& p : effectParameters())
        std::visit([&](auto field) { json.insert(keyOf(p), jsonValue(this->*field)); }, p.field);
    return json;
}

Result<EffectSettings> EffectSettings::fromJson(const QJsonValue& json) {
    if (!json.isObject()) return decodingError(notAnObject, "The settings are not an object.");
    const QJsonObject object = json.toObject();
    StrictReader in(object);
    EffectSettings s;
    for (const EffectParameter& p : effectParameters())
        std::visit([&](auto field) { in.read(keyOf(p), s.*field); }, p.field);
    if (in.error()) return *in.error();
    return s;
}

}  // namespace pelliqo
