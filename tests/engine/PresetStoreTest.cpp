#include <gtest/gtest.h>

#include <QJsonArray>
#include <QJsonDocument>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <cmath>

#include "engine/PresetStore.h"

namespace pelliqo {
namespace {

// Each test has its own settings file; the user's own settings are never touched.
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

TEST_F(PresetStoreTest, ANewStoreLoadsAnEqualList) {
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
    const QJsonDocument document = QJsonDocument::fromJson(stored().toByteArray());
    ASSERT_TRUE(document.isArray());
    const QJsonObject first = document.array()[0].toObject();
    EXPECT_EQ(first.value("id").toString(), saved[0].id.toString(QUuid::WithoutBraces));
    EXPECT_EQ(first.value("id").toString().size(), 36);
    EXPECT_EQ(first.value("name").toString(), "Blurred");
    EXPECT_EQ(first.value("settings").toObject().size(), 13);
    EXPECT_FALSE(stored().toByteArray().contains('\n'));
}

TEST_F(PresetStoreTest, RemovingDeletesByIdAndIsStored) {
    PresetStore presets(defaults());
    presets.add("A", colour(0.1));
    presets.add("B", colour(0.2));
    const Preset a = presets.presets()[0];
    presets.remove(a);
    EXPECT_EQ(names(presets), std::vector<std::string>{"B"});
    EXPECT_EQ(names(PresetStore(defaults())), std::vector<std::string>{"B"});
}

TEST_F(PresetStoreTest, AnIncompleteElementLosesTheWholeListWhichTheNextSaveReplaces) {
    {
        PresetStore presets(defaults());
        presets.add("Kept", EffectSettings{});
        presets.add("Broken", EffectSettings{});
    }
    QJsonArray array = QJsonDocument::fromJson(stored().toByteArray()).array();
    QJsonObject broken = array[1].toObject();
    QJsonObject settings = broken.value("settings").toObject();
    settings.remove("useSubjectMask");
    broken.insert("settings", settings);
    array[1] = broken;
    storeRaw(QJsonDocument(array).toJson());

    PresetStore reloaded(defaults());
    EXPECT_TRUE(reloaded.presets().empty());
    reloaded.add("Fresh", EffectSettings{});
    EXPECT_EQ(names(PresetStore(defaults())), std::vector<std::string>{"Fresh"});
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
