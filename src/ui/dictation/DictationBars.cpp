#include "ui/dictation/DictationBars.h"

#include "ui/dictation/DictationPanelLayout.h"
#include "ui/widgets/SymbolIcon.h"

#include <QPainter>
#include <QPainterPath>
#include <cmath>

namespace palaverly {

using namespace dictationpanel;

DictationBars::DictationBars(std::function<float()> level, QWidget* parent)
    : QWidget(parent)
    , m_level(std::move(level))
    , m_history(kHistoryLength, 0.0f)
{
    setAttribute(Qt::WA_TranslucentBackground);
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    m_timer.setInterval(kBarInterval);
    m_timer.setTimerType(Qt::PreciseTimer);
    connect(&m_timer, &QTimer::timeout, this, &DictationBars::tick);
}

QSize DictationBars::sizeHint() const
{
    const double width = kHistoryLength * kBarWidth + (kHistoryLength - 1) * kBarSpacing;
    return {static_cast<int>(std::ceil(width)), areaHeight(m_history)};
}

void DictationBars::tick()
{
    const int before = areaHeight(m_history);
    pushLevel(m_history, m_level ? m_level() : 0.0f);
    // A level above 1.0 makes its bar taller than the area: the area grows with it, and the panel.
    if (areaHeight(m_history) != before)
        updateGeometry();
    update();
}

void DictationBars::showEvent(QShowEvent* event)
{
    m_timer.start();
    QWidget::showEvent(event);
}

void DictationBars::hideEvent(QHideEvent* event)
{
    m_timer.stop();
    QWidget::hideEvent(event);
}

void DictationBars::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(Qt::NoPen);
    QColor red = colors::red();
    red.setAlphaF(0.85f);
    painter.setBrush(red);
    const double middle = height() / 2.0;
    double x = 0;
    for (float level : m_history) {
        const double h = barHeight(level);
        QPainterPath capsule;
        capsule.addRoundedRect(QRectF(x, middle - h / 2, kBarWidth, h), kBarWidth / 2, kBarWidth / 2);
        painter.drawPath(capsule);
        x += kBarWidth + kBarSpacing;
    }
}

} // namespace palaverly
