#include "ui/widgets/ProgressDots.h"

#include "ui/widgets/WindowStyle.h"

#include <QPainter>

namespace palaverly {

ProgressDots::ProgressDots(int total, QWidget* parent)
    : QWidget(parent)
    , m_total(total)
{
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
}

void ProgressDots::setCurrent(int current)
{
    if (current == m_current)
        return;
    m_current = current;
    update();
}

QSize ProgressDots::sizeHint() const
{
    if (m_total <= 0)
        return {0, kDotHeight};
    return {kCurrentWidth + (m_total - 1) * (kDotHeight + kSpacing), kDotHeight};
}

void ProgressDots::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(Qt::NoPen);
    QColor other = palette().color(QPalette::WindowText);
    other.setAlphaF(0.22f);
    const qreal radius = kDotHeight / 2.0;
    qreal x = (width() - sizeHint().width()) / 2.0;
    const qreal y = (height() - kDotHeight) / 2.0;
    for (int index = 0; index < m_total; ++index) {
        const bool isCurrent = index == m_current;
        const int dotWidth = isCurrent ? kCurrentWidth : kDotHeight;
        painter.setBrush(isCurrent ? style::accentColor() : other);
        painter.drawRoundedRect(QRectF(x, y, dotWidth, kDotHeight), radius, radius);
        x += dotWidth + kSpacing;
    }
}

} // namespace palaverly
