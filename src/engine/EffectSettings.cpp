#include "engine/EffectSettings.h"

#include <cmath>

namespace pelliqo {

namespace {

namespace key {
constexpr auto kind = QLatin1StringView("kind");
constexpr auto blurStrength = QLatin1StringView("blurStrength");
constexpr auto red = QLatin1StringView("red");
constexpr auto green = QLatin1StringView("green");
constexpr auto blue = QLatin1StringView("blue");
constexpr auto pictureFit = QLatin1StringView("pictureFit");
constexpr auto picturePath = QLatin1StringView("picturePath");
constexpr auto quality = QLatin1StringView("quality");
constexpr auto edgeSoftness = QLatin1StringView("edgeSoftness");
constexpr auto edgeShift = QLatin1StringView("edgeShift");
constexpr auto reduceFlicker = QLatin1StringView("reduceFlicker");
constexpr auto showMask = QLatin1StringView("showMask");
constexpr auto useSubjectMask = QLatin1StringView("useSubjectMask");
}  // namespace key

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
    void readCase(QLatin1StringView name, E& out) {
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

QString rawString(auto value) {
    return QString::fromLatin1(rawValue(value));
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
    return std::isfinite(blurStrength) && std::isfinite(red) && std::isfinite(green) &&
           std::isfinite(blue) && std::isfinite(edgeSoftness) && std::isfinite(edgeShift);
}

QJsonObject EffectSettings::toJson() const {
    QJsonObject json;
    json.insert(key::kind, rawString(kind));
    json.insert(key::blurStrength, blurStrength);
    json.insert(key::red, red);
    json.insert(key::green, green);
    json.insert(key::blue, blue);
    json.insert(key::pictureFit, rawString(pictureFit));
    json.insert(key::picturePath, QString::fromStdString(picturePath));
    json.insert(key::quality, rawString(quality));
    json.insert(key::edgeSoftness, edgeSoftness);
    json.insert(key::edgeShift, edgeShift);
    json.insert(key::reduceFlicker, reduceFlicker);
    json.insert(key::showMask, showMask);
    json.insert(key::useSubjectMask, useSubjectMask);
    return json;
}

Result<EffectSettings> EffectSettings::fromJson(const QJsonValue& json) {
    if (!json.isObject()) return decodingError(notAnObject, "The settings are not an object.");
    const QJsonObject object = json.toObject();
    StrictReader in(object);
    EffectSettings s;
    in.readCase(key::kind, s.kind);
    in.read(key::blurStrength, s.blurStrength);
    in.read(key::red, s.red);
    in.read(key::green, s.green);
    in.read(key::blue, s.blue);
    in.readCase(key::pictureFit, s.pictureFit);
    in.read(key::picturePath, s.picturePath);
    in.readCase(key::quality, s.quality);
    in.read(key::edgeSoftness, s.edgeSoftness);
    in.read(key::edgeShift, s.edgeShift);
    in.read(key::reduceFlicker, s.reduceFlicker);
    in.read(key::showMask, s.showMask);
    in.read(key::useSubjectMask, s.useSubjectMask);
    if (in.error()) return *in.error();
    return s;
}

}  // namespace pelliqo
