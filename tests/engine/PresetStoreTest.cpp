#include <gtest/gtest.h>

#include <QJsonArray>
#include <QJsonDocument>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <cctype>
#include <cmath>
#include <random>

#include "Damage.h"
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

    // Removing goes by id, and is stored.
    PresetStore presets(defaults());
    presets.remove(saved[0]);
    EXPECT_EQ(names(PresetStore(defaults())), std::vector<std::string>{"Beach"});
}

// One number of a JSON text replaced by a hostile value, the text kept well-formed.
std::string withHostileNumber(std::string text, std::mt19937& random) {
    static const char* const values[] = {"-1",  "1e308", "-1e308", "1e999", "0",  "99999",
                                         "0.5", "\"x\"", "null",   "true",  "[]", "{}"};
    std::vector<std::size_t> numbers;
    for (std::size_t i = 1; i < text.size(); ++i) {
        const bool starts = (std::isdigit(static_cast<unsigned char>(text[i])) || text[i] == '-') &&
                            (text[i - 1] == ':' || text[i - 1] == ' ');
        if (starts) numbers.push_back(i);
    }
    const std::size_t at = numbers[random() % numbers.size()];
    const std::size_t end = text.find_first_of(",}\n", at);
    return text.replace(at, end - at, values[random() % std::size(values)]);
}

// Damaged stored text, with a fixed seed: the store loads the whole list or none of it; what
// it loads survives its own saving unchanged (a number JSON cannot hold, such as NaN, would not
// be stored, and NaN never equals itself).
TEST_F(PresetStoreTest, DamagedStoredTextLoadsAllOrNothing) {
    {
        PresetStore presets(defaults());
        presets.add("One", colour(0.25));
        presets.add("Two", EffectSettings{});
    }
    const std::string text = stored().toByteArray().toStdString();
    std::mt19937 random(20261206);
    int kept = 0;
    for (int i = 0; i < 300; ++i) {
        const std::string damaged =
            i % 2 ? test::damaged(text, random) : withHostileNumber(text, random);
        storeRaw(QByteArray::fromStdString(damaged));
        PresetStore loaded(defaults());
        ASSERT_TRUE(loaded.presets().empty() || loaded.presets().size() == 2) << damaged;
        if (loaded.presets().empty()) continue;
        ++kept;
        loaded.add("Three", EffectSettings{});
        EXPECT_EQ(PresetStore(defaults()).presets(), loaded.presets()) << damaged;
    }
    EXPECT_GT(kept, 0);
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
