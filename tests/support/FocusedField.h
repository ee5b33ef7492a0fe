#pragma once

// Widgets: include only from tests registered with GUI DISPLAY.

#include "QtWait.h"

#include <QApplication>
#include <QEvent>
#include <QKeyEvent>
#include <QLineEdit>
#include <QProcess>
#include <QTemporaryFile>
#include <QVBoxLayout>
#include <QWidget>
#include <vector>

namespace palaverly::test {

// What another program gets for `target` from whoever owns the clipboard.
inline QByteArray clipboardElsewhere(const QString& target)
{
    return runForOutput(QStringLiteral("xclip"), {"-selection", "clipboard", "-o", "-t", target});
}

inline QStringList clipboardTargetsElsewhere()
{
    return QString::fromLatin1(clipboardElsewhere(QStringLiteral("TARGETS"))).split('\n', Qt::SkipEmptyParts);
}

// Gives the clipboard to another program (xclip), offering `data` as `target` only, and waits
// until that program serves it.
inline bool ownClipboardElsewhere(const QString& target, const QByteArray& data)
{
    QTemporaryFile file;
    if (!file.open())
        return false;
    file.write(data);
    file.flush();
    // xclip forks a child that takes the selection and serves it until someone else takes it.
    if (QProcess::execute(QStringLiteral("xclip"), {"-selection", "clipboard", "-t", target, "-i", file.fileName()})
        != 0)
        return false;
    return waitUntil([&] { return clipboardElsewhere(target) == data; }, 3000);
}

// "Any application": a top-level window with a text field that holds the keyboard focus, and a
// record of the key events the field receives.
class FocusedField : public QObject {
public:
    struct Key {
        QEvent::Type type = QEvent::None;
        int key = 0;
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

    // Presses (or releases) of one key that reached the field.
    int count(QEvent::Type type, int key) const
    {
        int n = 0;
        for (const Key& k : m_keys)
            n += k.type == type && k.key == key;
        return n;
    }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (watched == m_field && (event->type() == QEvent::KeyPress || event->type() == QEvent::KeyRelease))
            m_keys.push_back({event->type(), static_cast<QKeyEvent*>(event)->key()});
        return QObject::eventFilter(watched, event);
    }

private:
    QWidget m_window;
    QLineEdit* m_field = nullptr;
    std::vector<Key> m_keys;
};

} // namespace palaverly::test
