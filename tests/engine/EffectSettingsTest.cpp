#include <gtest/gtest.h>

#include <QJsonArray>
#include <QJsonDocument>
#include <tuple>

#include "engine/EffectSettings.h"

namespace pelliqo {
namespace {

const QStringList allKeys{"kind",          "blurStrength", "red",           "green",
                          "blue",          "pictureFit",   "picturePath",   "quality",
                          "edgeSoftness",  "edgeShift",    "reduceFlicker", "showMask",
                          "useSubjectMask"};

Result<EffectSettings> throughText(const QJsonObject& json) {
    const QByteArray bytes = QJsonDocument(json).toJson(QJsonDocument::Compact);
    return EffectSettings::fromJson(QJsonDocument::fromJson(bytes).object());
}

// Every field away from its default, with values text rounds badly.
EffectSettings unusual() {
    EffectSettings s;
    std::tie(s.kind, s.pictureFit, s.quality) =
        std::tuple(BackgroundKind::picture, PictureFit::fit, QualityChoice::accurate);
    std::tie(s.blurStrength, s.red, s.green, s.blue) = std::tuple(0.1 + 0.2, 1.0 / 3, 0.0, 1e-9);
    s.picturePath = "/tmp/ä ö/bild \"1\".jpg";
    std::tie(s.edgeSoftness, s.edgeShift) = std::tuple(12.75, -7.5);
    std::tie(s.reduceFlicker, s.showMask, s.useSubjectMask) = std::tuple(false, true, true);
    return s;
}

TEST(EffectSettings, EncodesAllThirteenKeysAndDecodesToAnEqualValue) {
    for (const EffectSettings& original : {EffectSettings{}, unusual()}) {
        const QJsonObject json = original.toJson();
        EXPECT_EQ(json.keys().size(), 13);
        for (const QString& key : allKeys) EXPECT_TRUE(json.contains(key)) << key.toStdString();
        const auto decoded = throughText(json);
        ASSERT_TRUE(decoded) << decoded.error().description;
        EXPECT_EQ(decoded.value(), original);
    }
}

TEST(EffectSettings, AMissingKeyWrongTypeOrUnknownWordFailsTheWholeDecode) {
    for (const QString& key : allKeys) {
        QJsonObject json = unusual().toJson();
        json.remove(key);
        const auto decoded = throughText(json);
        ASSERT_FALSE(decoded) << key.toStdString();
        EXPECT_NE(decoded.error().description.find(key.toStdString()), std::string::npos);
    }
    const std::vector<std::pair<QString, QJsonValue>> bad{
        {"kind", "Blur"},           {"kind", 1},
        {"quality", "ultra"},       {"pictureFit", "stretch"},
        {"blurStrength", "25"},     {"red", QJsonValue::Null},
        {"picturePath", 3},         {"reduceFlicker", 1},
        {"showMask", "true"},       {"useSubjectMask", QJsonValue::Null},
        {"edgeShift", QJsonArray{}}};
    for (const auto& [key, value] : bad) {
        QJsonObject json = EffectSettings{}.toJson();
        json.insert(key, value);
        EXPECT_FALSE(throughText(json)) << key.toStdString();
    }
    EXPECT_FALSE(EffectSettings::fromJson(QJsonValue(QJsonArray{})));
    EXPECT_FALSE(EffectSettings::fromJson(QJsonValue("blur")));
}

}  // namespace
}  // namespace pelliqo
