#pragma once

// Widgets: include only from tests registered with GUI DISPLAY.

#include "QtWait.h"

#include <QApplication>
#include <QEvent>
#include <QKeyEvent>
#include <QLineEdit>
#include <QProcess>
#include <QVBoxLayout>
#include <QWidget>
#include <vector>

namespace palaverly::test {

// Runs xdotool with the arguments; true when it succeeded. It returns once the X server has taken
// the events, so whatever they cause is on the clients' sockets by then.
inline bool xdotool(const QStringList& arguments)
{
    return QProcess::execute(QStringLiteral("xdotool"), arguments) == 0;
}

// Runs the event loop for a while, for deliveries that must not happen.
inline void settle(int ms = 150)
{
    waitUntil([] { return false; }, ms);
}

// "Any application": a top-level window with a text field that holds the keyboard focus, and a
// record of the key and focus events the field receives.
class FocusedField : public QObject {
public:
    struct Key {
        QEvent::Type type = QEvent::None;
        int key = 0;
        Qt::KeyboardModifiers modifiers;
        bool autoRepeat = false;
    };

    FocusedField()
    {
        m_window.setWindowTitle(QStringLiteral("focused field"));
        auto* layout = new QVBoxLayout(&m_window);
        m_field = new QLineEdit(&m_window);
        layout->addWidget(m_field);
        m_window.resize(400, 80);
        m_window.move(200, 400);
        m_field->installEventFilter(this);
    }

    // Shows the window and gives the field the X input focus.
    bool showAndFocus()
    {
        m_window.show();
        m_window.activateWindow();
        m_field->setFocus();
        return waitUntil([this] { return QApplication::focusWidget() == m_field && hasInputFocus(); }, 5000);
    }

    QLineEdit& field() { return *m_field; }
    QWidget& window() { return m_window; }

    // Whether the X server's input focus is on this window (or inside it).
    bool hasInputFocus() const
    {
        QProcess process;
        process.start(QStringLiteral("xdotool"), {QStringLiteral("getwindowfocus")});
        process.waitForFinished(3000);
        return process.readAllStandardOutput().trimmed().toULongLong() == m_window.winId();
    }

    const std::vector<Key>& keys() const { return m_keys; }
    // Presses (or releases) of one key that reached the field.
    int count(QEvent::Type type, int key) const
    {
        int n = 0;
        for (const Key& k : m_keys)
            n += k.type == type && k.key == key;
        return n;
    }
    int focusOuts() const { return m_focusOuts; }
    void clear()
    {
        m_keys.clear();
        m_focusOuts = 0;
    }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (watched == m_field) {
            if (event->type() == QEvent::KeyPress || event->type() == QEvent::KeyRelease) {
                const auto* key = static_cast<QKeyEvent*>(event);
                m_keys.push_back({event->type(), key->key(), key->modifiers(), key->isAutoRepeat()});
            } else if (event->type() == QEvent::FocusOut) {
                ++m_focusOuts;
            }
        }
        return QObject::eventFilter(watched, event);
    }

private:
    QWidget m_window;
    QLineEdit* m_field = nullptr;
    std::vector<Key> m_keys;
    int m_focusOuts = 0;
};

} // namespace palaverly::test
