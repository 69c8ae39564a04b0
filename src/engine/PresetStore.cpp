#include "engine/PresetStore.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <algorithm>
#include <optional>

namespace pelliqo {

namespace {

// One bad element makes the whole list unreadable.
std::optional<std::vector<Preset>> decoded(const QByteArray& text) {
    const QJsonDocument document = QJsonDocument::fromJson(text);
    if (!document.isArray()) return std::nullopt;
    std::vector<Preset> loaded;
    for (const QJsonValue& element : document.array()) {
        auto preset = Preset::fromJson(element);
        if (!preset) return std::nullopt;
        loaded.push_back(std::move(preset).value());
    }
    return loaded;
}

}  // namespace

PresetStore::PresetStore(std::unique_ptr<QSettings> defaults, QObject* parent)
    : QObject(parent), defaults_(std::move(defaults)) {
    load();
}

void PresetStore::load() {
    const QVariant stored = defaults_->value(QLatin1StringView(key));
    if (!stored.isValid()) return;
    if (auto loaded = decoded(stored.toByteArray()))
        presets_ = std::move(*loaded);
    else
        unreadable_ = stored;
}

void PresetStore::add(const std::string& name, const EffectSettings& settings) {
    const std::string trimmed = QString::fromStdString(name).trimmed().toStdString();
    if (trimmed.empty()) return;
    std::erase_if(presets_, [&](const Preset& p) { return p.name == trimmed; });
    presets_.push_back(Preset{QUuid::createUuid(), trimmed, settings});
    save();
    emit presetsChanged();
}

void PresetStore::remove(const Preset& preset) {
    std::erase_if(presets_, [&](const Preset& p) { return p.id == preset.id; });
    save();
    emit presetsChanged();
}

void PresetStore::save() {
    // A list that cannot be encoded faithfully is not stored, rather than stored in a form
    // that would fail to load and lose every preset.
    const bool encodable =
        std::ranges::all_of(presets_, [](const Preset& p) { return p.settings.isEncodable(); });
    if (!encodable) return;
    QJsonArray array;
    for (const Preset& preset : presets_) array.append(preset.toJson());
    if (unreadable_.isValid()) defaults_->setValue(QLatin1StringView(setAsideKey), unreadable_);
    unreadable_.clear();
    defaults_->setValue(QLatin1StringView(key),
                        QJsonDocument(array).toJson(QJsonDocument::Compact));
    // Written at once, so a crash later does not lose the preset.
    defaults_->sync();
}

}  // namespace pelliqo
