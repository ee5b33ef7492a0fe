#pragma once

#include "system/HotkeyConfig.h"

#include <QWidget>
#include <functional>
#include <optional>

class QLabel;
class QPushButton;
class QToolButton;

namespace palaverly {

// A field that records one key combination. Clicking it starts capturing ("Нажмите…"); while it
// captures, it holds the keyboard of the session: every key press and release is taken by the
// field and goes nowhere else, global hotkeys of any program included. Escape stops without a change; a key without
// Ctrl, Alt, Super or Shift is ignored and capturing goes on; a key with at least one of them becomes the new
// combination and stops capturing. Clicking the field again, or hiding it, stops as well. A combination another
// shortcut already has is refused with a message under the field that names that shortcut. The
// small button beside it clears the combination. Main thread.
class ShortcutRecorderField : public QWidget {
    Q_OBJECT
public:
    static constexpr quint32 kEscapeKeyCode = 53;

    explicit ShortcutRecorderField(QWidget* parent = nullptr);
    ~ShortcutRecorderField() override;

    HotkeyConfig hotkey() const { return m_hotkey; }
    // Shows `value`; announces nothing (used to follow the settings).
    void setHotkey(const HotkeyConfig& value);

    bool isCapturing() const { return m_capturing; }
    void startCapturing();
    void stopCapturing();

    // "Нажмите…" while capturing, else the combination or "Не задан".
    QString labelText() const;

    // Asked for every recorded combination: the name of another shortcut that has it already,
    // or nothing.
    std::function<std::optional<QString>(const HotkeyConfig&)> usedElsewhere;
    // Why the last recorded combination was refused; empty after a combination was taken, or
    // once capturing starts again.
    QString message() const;

signals:
    // A combination was recorded or cleared by the user.
    void hotkeyEdited(const palaverly::HotkeyConfig& value);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void hideEvent(QHideEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    void assign(const HotkeyConfig& value);
    void updateLabel();

    HotkeyConfig m_hotkey;
    bool m_capturing = false;
    void showMessage(const QString& text);

    QPushButton* m_field = nullptr;
    QToolButton* m_clearButton = nullptr;
    QLabel* m_message = nullptr;
};

} // namespace palaverly
