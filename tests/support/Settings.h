#pragma once

#include "engine/EffectSettings.h"

namespace pelliqo::test {

// The default settings (fast quality) with another background.
inline EffectSettings settingsWith(BackgroundKind kind) {
    EffectSettings settings;
    settings.kind = kind;
    return settings;
}

}  // namespace pelliqo::test
