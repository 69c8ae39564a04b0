#include <gtest/gtest.h>

#include <QSettings>
#include <QTemporaryDir>

#include "app/EffectOptions.h"
#include "engine/PresetStore.h"

namespace pelliqo {
namespace {

Arguments parse(const std::vector<std::string>& args) {
    return std::get<Arguments>(parseArguments(args, effectOptionSpecs()));
}

class EffectOptions : public testing::Test {
  protected:
    QTemporaryDir dir;
    PresetStore presets{std::make_unique<QSettings>(dir.filePath("d.ini"), QSettings::IniFormat)};
};

TEST(ParseColor, ComponentsOrHex) {
    EXPECT_EQ(parseColor("1,0,0.5"), (Color{1, 0, 0.5, 1}));
    EXPECT_EQ(parseColor("#ff0080"), (Color{1, 0, 128 / 255.0, 1}));
    for (const char* bad :
         {"1,0", "1,0,0,0", "2,0,0", "-0.1,0,0", "#ff00", "#gg0000", "red", "1,,0"}) {
        EXPECT_FALSE(parseColor(bad)) << bad;
    }
}

TEST_F(EffectOptions, ValuesOfTheWrongTypeAreRefused) {
    for (const auto& args :
         std::vector<std::vector<std::string>>{{"--background", "Blur"},
                                               {"--quality", "ultra"},
                                               {"--fit", "stretch"},
                                               {"--blur-strength", "lots"},
                                               {"--edge-shift", "nan"},
                                               {"--color", "purple"},
                                               {"--preset", "Nobody saved this"}}) {
        EffectSettings settings;
        EXPECT_TRUE(applyEffectOptions(parse(args), settings, presets)) << args[0];
    }
}

TEST_F(EffectOptions, APresetComesFirstAndOptionsOverrideIt) {
    EffectSettings saved;
    saved.kind = BackgroundKind::picture;
    saved.picturePath = "/pictures/beach.jpg";
    saved.blurStrength = 40;
    presets.add("Beach", saved);

    EffectSettings settings;
    ASSERT_FALSE(applyEffectOptions(
        parse({"--blur-strength", "10", "--preset", "Beach", "--show-mask"}), settings, presets));
    EXPECT_EQ(settings.picturePath, "/pictures/beach.jpg");
    EXPECT_EQ(settings.blurStrength, 10);  // given after the preset in effect, wherever it stands
    EXPECT_TRUE(settings.showMask);
}

TEST_F(EffectOptions, ColourAndPictureChooseTheirBackgroundUnlessOneIsGiven) {
    EffectSettings settings;
    ASSERT_FALSE(applyEffectOptions(parse({"--color", "#000000"}), settings, presets));
    EXPECT_EQ(settings.kind, BackgroundKind::color);
    EXPECT_EQ(settings.color(), (Color{0, 0, 0, 1}));

    settings = EffectSettings{};
    ASSERT_FALSE(applyEffectOptions(
        parse({"--picture", "p.jpg", "--background", "transparent", "--edge-shift", "-1.5"}),
        settings, presets));
    EXPECT_EQ(settings.kind, BackgroundKind::transparent);
    EXPECT_EQ(settings.picturePath, "p.jpg");
    EXPECT_EQ(settings.edgeShift, -1.5);
}

}  // namespace
}  // namespace pelliqo
