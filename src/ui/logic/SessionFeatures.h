#pragma once

#include "system/SessionInput.h"

#include <QString>
#include <array>

namespace palaverly {

// One line of the "what works in this session" list of the permission views.
struct FeatureLine {
    enum class Level {
        works,
        pending, // not known yet: the desktop has not answered or not been asked
        off,
    };
    Level level = Level::off;
    QString title; // "Хоткеи записи", "Push-to-talk диктовка", "Вставка текста"
    QString text; // how it works here, or why not and what happens instead
};

// The heading of the list: "В этом сеансе (Wayland):".
QString sessionFeaturesHeading(const SessionInput::State& state);

// Hotkeys, push-to-talk and paste, in that order, for the session described by `state`.
std::array<FeatureLine, 3> sessionFeatureLines(const SessionInput::State& state);

} // namespace palaverly
