#pragma once

#include <QByteArray>
#include <QString>
#include <memory>
#include <optional>

namespace palaverly {

// What the keys of the user's keyboard type in its current layout. One back end per windowing
// system (KeyboardLayout_x11.cpp); the null layout knows no keys.
class KeyboardLayout {
public:
    virtual ~KeyboardLayout() = default;

    // The text a key (our key numbering) gives without modifiers in the layout active right
    // now, or nothing when the key has no printable symbol. Main thread.
    virtual std::optional<QString> unshiftedText(quint32 virtualKeyCode) = 0;

    // A layout reader for the given display ($DISPLAY when empty); the null layout when the
    // display cannot be opened.
    static std::unique_ptr<KeyboardLayout> create(const QByteArray& displayName = {});

    // The reader of the session's display, opened on first use and kept for the process.
    // Main thread.
    static KeyboardLayout& session();
};

class NullKeyboardLayout final : public KeyboardLayout {
public:
    std::optional<QString> unshiftedText(quint32) override { return std::nullopt; }
};

} // namespace palaverly
