#pragma once

#include <QObject>
#include <QString>
#include <QStringList>
#include <QTimer>
#include <chrono>

namespace palaverly {

// What a typewriter shows while it types `text`: the empty text, then one more character
// (a user-perceived character, so "й" or an emoji with modifiers counts once) per step.
QStringList typewriterSteps(const QString& text);

// A text that types itself in when it changes while shown. Shown the first time, or changed
// before it was ever shown, it shows the text at once. Main thread only.
class Typewriter : public QObject {
    Q_OBJECT

public:
    explicit Typewriter(std::chrono::milliseconds charDelay, QObject* parent = nullptr);

    const QString& text() const { return m_text; }
    const QString& displayed() const { return m_displayed; }
    bool isAnimating() const { return m_timer.isActive(); }

    void setText(const QString& text);
    // The view became visible / went away.
    void appear();
    void disappear();

signals:
    void displayedChanged(const QString& displayed);

private:
    void step();
    void setDisplayed(const QString& displayed);

    std::chrono::milliseconds m_charDelay;
    QString m_text;
    QString m_displayed;
    bool m_hasAppeared = false;
    QStringList m_steps;
    int m_nextStep = 0;
    QTimer m_timer;
};

} // namespace palaverly
