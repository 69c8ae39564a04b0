#pragma once

#include <QObject>
#include <QSettings>
#include <memory>
#include <string>
#include <vector>

#include "engine/Preset.h"

namespace pelliqo {

// The user's saved presets, in the order they were saved, kept in the user defaults as
// one JSON array. Used on the main thread only.
class PresetStore : public QObject {
    Q_OBJECT

  public:
    static constexpr auto key = "pelliqo.presets";
    // Where the next save sets aside a stored list this version could not read (damaged, or a
    // newer version's), rather than lose it.
    static constexpr auto setAsideKey = "pelliqo.presets.unreadable";

    // Loads the stored list; an unreadable one starts empty and the next save sets it aside.
    explicit PresetStore(std::unique_ptr<QSettings> defaults, QObject* parent = nullptr);

    const std::vector<Preset>& presets() const { return presets_; }

    // Saves the settings under the trimmed name; a preset of the same name moves to the
    // end with the new settings. A blank name does nothing.
    void add(const std::string& name, const EffectSettings& settings);
    void remove(const Preset& preset);

  signals:
    void presetsChanged();

  private:
    void load();
    void save();

    std::unique_ptr<QSettings> defaults_;
    std::vector<Preset> presets_;
    QVariant unreadable_;
};

}  // namespace pelliqo
