#pragma once

#include <QMetaType>
#include <QString>
#include <array>

namespace palaverly {

// The three things the program needs from the system. On Linux they mean: a reachable sound
// server with a default input (microphone), a default output whose monitor can be recorded
// (screen recording: the system sound), an X11 display with XTest (accessibility: global keys
// and the synthetic paste).
enum class PermissionKind {
    microphone,
    screenRecording,
    accessibility,
};

inline constexpr std::array kAllPermissionKinds{
    PermissionKind::microphone,
    PermissionKind::screenRecording,
    PermissionKind::accessibility,
};

enum class PermissionStatus {
    granted,
    denied,
    notDetermined,
};

} // namespace palaverly

Q_DECLARE_METATYPE(palaverly::PermissionKind)
Q_DECLARE_METATYPE(palaverly::PermissionStatus)
