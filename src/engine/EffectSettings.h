#pragma once

#include <QJsonObject>
#include <QJsonValue>
#include <string>

#include "engine/Color.h"
#include "engine/RawValue.h"
#include "errors/Result.h"

namespace pelliqo {

enum class BackgroundKind { none, blur, color, picture, transparent };
enum class PictureFit { fill, fit };
enum class QualityChoice { fast, balanced, accurate };

template <>
struct RawValues<BackgroundKind> {
    static constexpr std::array<std::string_view, 5> names{"none", "blur", "color", "picture",
                                                           "transparent"};
};
template <>
struct RawValues<PictureFit> {
    static constexpr std::array<std::string_view, 2> names{"fill", "fit"};
};
template <>
struct RawValues<QualityChoice> {
    static constexpr std::array<std::string_view, 3> names{"fast", "balanced", "accurate"};
};

// How a frame is treated. A plain value: every pipeline keeps its own copy and hands it
// over per frame. No clamping here; the consumers guard their inputs.
struct EffectSettings {
    BackgroundKind kind = BackgroundKind::blur;
    double blurStrength = 25.0;  // blur radius for a frame 1280 pixels wide
    double red = 0.1;            // background colour, sRGB 0…1
    double green = 0.6;
    double blue = 0.3;
    PictureFit pictureFit = PictureFit::fill;
    std::string picturePath;  // empty: no picture chosen
    QualityChoice quality = QualityChoice::fast;
    double edgeSoftness = 2.0;  // mask edge blur, for a mask 640 pixels wide
    double edgeShift = 0.0;     // grows (+) or shrinks (−) the person, same scale
    bool reduceFlicker = true;
    bool showMask = false;
    bool useSubjectMask = false;

    // The background colour, always opaque.
    Color color() const;
    // Stores the colour's red, green and blue; its opacity is dropped. A colour that could
    // not be expressed in sRGB (non-finite components) is stored as black.
    void setColor(const Color& value);

    // JSON has no form for infinities or NaN; such a value cannot be stored.
    bool isEncodable() const;
    // All thirteen keys, always, defaults included.
    QJsonObject toJson() const;
    // Strict: a missing key, a value of the wrong type or an unknown raw value fails the
    // whole decode. Extra keys are ignored.
    static Result<EffectSettings> fromJson(const QJsonValue& json);

    bool operator==(const EffectSettings&) const = default;
};

}  // namespace pelliqo
