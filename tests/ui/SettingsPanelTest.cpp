#include <gtest/gtest.h>

#include <QComboBox>
#include <QMenu>
#include <QSlider>
#include <QTemporaryDir>

#include "Settings.h"
#include "engine/PresetStore.h"
#include "ui/SettingsPanel.h"

namespace pelliqo {
namespace {

struct Panel {
    explicit Panel(bool live)
        : presets(std::make_unique<QSettings>(dir.filePath("presets.ini"), QSettings::IniFormat)),
          panel(presets, live, [this](const EffectSettings& s) { edited = s; }) {}

    bool shown(const char* name) const {
        const auto* w = panel.findChild<QWidget*>(name);
        return w != nullptr && !w->isHidden() && w->parentWidget() != nullptr &&
               !w->parentWidget()->isHidden();
    }
    QStringList menuTexts() const {
        QStringList texts;
        for (QAction* a : panel.presetsMenu()->actions())
            texts << (a->isSeparator() ? QString("---") : a->text());
        return texts;
    }

    QTemporaryDir dir;
    PresetStore presets;
    SettingsPanel panel;
    std::optional<EffectSettings> edited;
};

TEST(SettingsPanel, EachBackgroundShowsItsControlsAndEditsReachTheCaller) {
    Panel p(true);
    p.panel.setSettings(test::settingsWith(BackgroundKind::blur));
    EXPECT_TRUE(p.shown("strength"));
    EXPECT_FALSE(p.shown("color"));
    p.panel.setSettings(test::settingsWith(BackgroundKind::picture));
    EXPECT_TRUE(p.shown("chooseImage"));
    EXPECT_FALSE(p.shown("strength"));
    p.panel.setSettings(test::settingsWith(BackgroundKind::color));
    EXPECT_TRUE(p.shown("color"));
    p.panel.setSettings(test::settingsWith(BackgroundKind::transparent));
    EXPECT_TRUE(p.shown("transparentNote"));

    // Edits reach the caller, and a locked kind leaves the rest usable.
    p.panel.setSettings(test::settingsWith(BackgroundKind::blur));
    p.panel.setLockKind(true);
    EXPECT_FALSE(p.panel.findChild<QComboBox*>("kind")->isEnabled());
    auto* strength = p.panel.findChild<QSlider*>("strength");
    EXPECT_TRUE(strength->isEnabled());
    strength->setValue(strength->maximum());
    ASSERT_TRUE(p.edited);
    EXPECT_DOUBLE_EQ(p.edited->blurStrength, 80.0);
    EXPECT_EQ(p.edited->kind, BackgroundKind::blur);
    auto* shift = p.panel.findChild<QSlider*>("edgeShift");
    shift->setValue(shift->minimum());
    EXPECT_DOUBLE_EQ(p.edited->edgeShift, -6.0);
    p.edited.reset();
    p.panel.setSettings(test::settingsWith(BackgroundKind::none));
    EXPECT_FALSE(p.edited);
}

TEST(SettingsPanel, TheRateAndTheEngineNoteSayWhatRuns) {
    EXPECT_EQ(SettingsPanel::fpsText(29.6), "Measured: 30 frames per second");
    EXPECT_EQ(SettingsPanel::fpsText(0), "Measured: waiting for frames");
    EffectSettings s;
    s.quality = QualityChoice::balanced;
    EXPECT_EQ(SettingsPanel::engineNote(s),
              "Engine: person mask at the Balanced level (MediaPipe selfie, 256×256).");
    // With the subject mask, the person mask it falls back on runs at the chosen level.
    s.useSubjectMask = true;
    EXPECT_EQ(SettingsPanel::engineNote(s),
              "Engine: subject mask, with the person mask at the Balanced level as the fallback.");
}

TEST(SettingsPanel, ThePresetsMenuAppliesSavesAndDeletes) {
    Panel p(true);
    EXPECT_EQ(p.menuTexts(), (QStringList{"No presets yet", "---", "Save current settings…"}));
    EffectSettings look = test::settingsWith(BackgroundKind::color);
    look.red = 1;
    look.edgeSoftness = 7;
    p.presets.add("Studio", look);
    EXPECT_EQ(p.menuTexts(), (QStringList{"Studio", "---", "Save current settings…", "Delete"}));
    // Applying replaces every field, the kind too, even while the kind is locked...
    p.panel.setSettings(test::settingsWith(BackgroundKind::blur));
    p.panel.setLockKind(true);
    p.panel.presetsMenu()->actions().front()->trigger();
    ASSERT_TRUE(p.edited);
    EXPECT_EQ(*p.edited, look);
    // ...except a kind that would change a running recording's format.
    p.panel.setSettings(test::settingsWith(BackgroundKind::transparent));
    p.panel.presetsMenu()->actions().front()->trigger();
    EXPECT_EQ(p.edited->kind, BackgroundKind::transparent);
    EXPECT_EQ(p.edited->edgeSoftness, 7);
    EXPECT_EQ(p.edited->red, 1);
    QMenu* remove = p.panel.presetsMenu()->actions().back()->menu();
    ASSERT_NE(remove, nullptr);
    remove->actions().front()->trigger();
    EXPECT_TRUE(p.presets.presets().empty());
    EXPECT_EQ(p.menuTexts().front(), "No presets yet");
}

}  // namespace
}  // namespace pelliqo
