#include "ui/logic/Typewriter.h"

#include <QTextBoundaryFinder>

namespace palaverly {

QStringList typewriterSteps(const QString& text)
{
    QStringList steps{QString()};
    QTextBoundaryFinder finder(QTextBoundaryFinder::Grapheme, text);
    qsizetype position = finder.toNextBoundary();
    while (position > 0) {
        steps << text.left(position);
        position = finder.toNextBoundary();
    }
    return steps;
}

Typewriter::Typewriter(std::chrono::milliseconds charDelay, QObject* parent)
    : QObject(parent)
    , m_charDelay(charDelay)
{
    m_timer.setTimerType(Qt::PreciseTimer);
    connect(&m_timer, &QTimer::timeout, this, &Typewriter::step);
}

void Typewriter::setText(const QString& text)
{
    if (text == m_text)
        return;
    m_text = text;
    if (!m_hasAppeared) {
        setDisplayed(text);
        return;
    }
    // Start over from the empty text, and type the first character at once; a running
    // animation is replaced.
    m_timer.stop();
    m_steps = typewriterSteps(text);
    m_nextStep = 0;
    step();
    step();
    if (m_nextStep < m_steps.size())
        m_timer.start(m_charDelay);
}

void Typewriter::appear()
{
    if (m_hasAppeared)
        return;
    m_hasAppeared = true;
    setDisplayed(m_text);
}

void Typewriter::disappear()
{
    m_timer.stop();
}

void Typewriter::step()
{
    if (m_nextStep >= m_steps.size()) {
        m_timer.stop();
        return;
    }
    setDisplayed(m_steps[m_nextStep++]);
    if (m_nextStep >= m_steps.size())
        m_timer.stop();
}

void Typewriter::setDisplayed(const QString& displayed)
{
    if (displayed == m_displayed)
        return;
    m_displayed = displayed;
    emit displayedChanged(displayed);
}

} // namespace palaverly
