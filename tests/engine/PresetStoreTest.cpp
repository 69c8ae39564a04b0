#include <gtest/gtest.h>

#include <QJsonArray>
#include <QJsonDocument>
#include <QTemporaryDir>
#include <cmath>

#include "engine/PresetStore.h"

namespace pelliqo {
namespace {

class PresetStoreTest : public testing::Test {
  protected:
    std::unique_ptr<QSettings> defaults() const {
        return std::make_unique<QSettings>(dir_.filePath("defaults.ini"), QSettings::IniFormat);
    }
    QVariant stored() const { return defaults()->value(PresetStore::key); }
    void storeRaw(const QByteArray& bytes) const { defaults()->setValue(PresetStore::key, bytes); }
    static std::vector<std::string> names(const PresetStore& s) {
        std::vector<std::string> out;
        for (const Preset& p : s.presets()) out.push_back(p.name);
        return out;
    }

    QTemporaryDir dir_;
};

EffectSettings colour(double red) {
    EffectSettings s;
    s.kind = BackgroundKind::color;
    s.red = red;
    return s;
}

TEST_F(PresetStoreTest, ANewStoreLoadsAnEqualListAndRemovalsAreStored) {
    std::vector<Preset> saved;
    {
        PresetStore presets(defaults());
        presets.add("Blurred", EffectSettings{});
        EffectSettings picture;
        picture.kind = BackgroundKind::picture;
        picture.picturePath = "/home/me/Pictures/beach.jpg";
        picture.edgeShift = -3;
        presets.add("Beach", picture);
        saved = presets.presets();
    }
    EXPECT_EQ(PresetStore(defaults()).presets(), saved);

    // The stored form: one compact JSON array of objects with id, name and settings.
    const QJsonObject first = QJsonDocument::fromJson(stored().toByteArray()).array()[0].toObject();
    EXPECT_EQ(first.value("id").toString(), saved[0].id.toString(QUuid::WithoutBraces));
    EXPECT_EQ(first.value("name").toString(), "Blurred");
    EXPECT_EQ(first.value("settings").toObject(), saved[0].settings.toJson());

    PresetStore presets(defaults());
    presets.remove(saved[0]);
    EXPECT_EQ(names(PresetStore(defaults())), std::vector<std::string>{"Beach"});
}

// A hostile number that is still a number loads, and survives its own saving unchanged.
TEST_F(PresetStoreTest, DamagedStoredTextLoadsAllOrNothing) {
    {
        PresetStore presets(defaults());
        presets.add("One", colour(0.25));
        presets.add("Two", EffectSettings{});
    }
    const QByteArray text = stored().toByteArray();
    ASSERT_TRUE(text.contains("\"kind\":\"color\""));
    for (const char* damage : {"\"kind\":7", "\"kind\":\"Color\"", "\"kind\":null"}) {
        storeRaw(QByteArray(text).replace("\"kind\":\"color\"", damage));
        EXPECT_TRUE(PresetStore(defaults()).presets().empty()) << damage;
    }
    // What could not be read is set aside by the next save, not lost with it.
    PresetStore(defaults()).add("New", EffectSettings{});
    EXPECT_EQ(names(PresetStore(defaults())), std::vector<std::string>{"New"});
    EXPECT_EQ(defaults()->value(PresetStore::setAsideKey).toByteArray(),
              QByteArray(text).replace("\"kind\":\"color\"", "\"kind\":null"));
    storeRaw(QByteArray(text).replace("\"red\":0.25", "\"red\":1e308"));
    PresetStore hostile(defaults());
    ASSERT_EQ(hostile.presets().size(), 2u);
    hostile.add("Three", EffectSettings{});
    EXPECT_EQ(PresetStore(defaults()).presets(), hostile.presets());
}

TEST_F(PresetStoreTest, SettingsJsonCannotHoldAreNotStored) {
    PresetStore presets(defaults());
    presets.add("Good", EffectSettings{});
    const QByteArray before = stored().toByteArray();
    EffectSettings odd;
    odd.blurStrength = std::nan("");
    presets.add("Odd", odd);
    EXPECT_EQ(stored().toByteArray(), before);
    EXPECT_EQ(names(PresetStore(defaults())), std::vector<std::string>{"Good"});
}

}  // namespace
}  // namespace pelliqo
