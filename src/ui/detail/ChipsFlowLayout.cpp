#include "ui/detail/ChipsFlowLayout.h"

#include <QWidget>

namespace palaverly {

namespace {
const QPoint kOutside(-10000, -10000);
}

ChipsFlowLayout::ChipsFlowLayout(ChipsFlowSettings settings, QWidget* parent)
    : QLayout(parent)
    , m_settings(settings)
{
}

ChipsFlowLayout::~ChipsFlowLayout()
{
    while (QLayoutItem* item = takeAt(0))
        delete item;
}

void ChipsFlowLayout::addItem(QLayoutItem* item)
{
    m_items.append(item);
}

QLayoutItem* ChipsFlowLayout::itemAt(int index) const
{
    return index >= 0 && index < m_items.size() ? m_items.at(index) : nullptr;
}

QLayoutItem* ChipsFlowLayout::takeAt(int index)
{
    return index >= 0 && index < m_items.size() ? m_items.takeAt(index) : nullptr;
}

ChipsFlowPlacement ChipsFlowLayout::place(int width) const
{
    // Fewer than two items: no chips, nothing to place.
    if (m_items.size() < 2)
        return {};
    std::vector<QSizeF> sizes;
    for (int i = 0; i + 1 < m_items.size(); ++i)
        sizes.emplace_back(m_items.at(i)->sizeHint());
    return placeChips(sizes, width, m_settings);
}

int ChipsFlowLayout::heightForWidth(int width) const
{
    const QMargins margins = contentsMargins();
    const ChipsFlowPlacement placement = place(width - margins.left() - margins.right());
    return qCeil(placement.totalSize.height()) + margins.top() + margins.bottom();
}

QSize ChipsFlowLayout::sizeHint() const
{
    const QMargins margins = contentsMargins();
    int width = 0;
    for (int i = 0; i + 1 < m_items.size(); ++i)
        width += m_items.at(i)->sizeHint().width() + static_cast<int>(m_settings.hSpacing);
    width = std::max(width, 200) + margins.left() + margins.right();
    return QSize(width, heightForWidth(geometry().width() > 0 ? geometry().width() : width));
}

QSize ChipsFlowLayout::minimumSize() const
{
    // Never lower than the rows need at the width last given, so that an enclosing layout short
    // of room does not draw over the second row.
    const QMargins margins = contentsMargins();
    const int width = geometry().width() > 0 ? geometry().width() : sizeHint().width();
    return QSize(margins.left() + margins.right() + 120, heightForWidth(width));
}

void ChipsFlowLayout::setGeometry(const QRect& rect)
{
    QLayout::setGeometry(rect);
    const QRect area = rect.marginsRemoved(contentsMargins());
    m_placement = place(area.width());
    for (int i = 0; i < m_items.size(); ++i) {
        QLayoutItem* item = m_items.at(i);
        const QSize size = item->sizeHint();
        const bool isOverflow = i + 1 == m_items.size();
        std::optional<QPointF> at;
        if (isOverflow)
            at = m_placement.overflowPosition;
        else if (const auto it = m_placement.placements.find(i); it != m_placement.placements.end())
            at = it->second;
        if (at)
            item->setGeometry(QRect(area.topLeft() + at->toPoint(), size));
        else if (QWidget* widget = item->widget())
            widget->setGeometry(QRect(kOutside, size)); // a layout item would clamp to the parent's corner
        else
            item->setGeometry(QRect(kOutside, size));
    }
}

} // namespace palaverly
