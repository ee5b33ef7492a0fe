#include "ui/logic/ChipsFlow.h"

#include <algorithm>

namespace palaverly {

ChipsFlowPlacement placeChips(const std::vector<QSizeF>& chipSizes, double maxWidth, const ChipsFlowSettings& settings)
{
    ChipsFlowPlacement result;
    if (chipSizes.empty())
        return result;

    struct Slot {
        int index;
        double x, y;
        QSizeF size;
    };
    std::vector<Slot> placed;
    double x = 0;
    double y = 0;
    double rowHeight = 0;
    int row = 1;
    bool overflow = false;
    for (int i = 0; i < static_cast<int>(chipSizes.size()); ++i) {
        const QSizeF size = chipSizes[static_cast<std::size_t>(i)];
        if (x != 0 && x + size.width() > maxWidth) {
            if (row >= settings.maxRows) {
                overflow = true;
                break;
            }
            y += rowHeight + settings.vSpacing;
            x = 0;
            rowHeight = 0;
            ++row;
        }
        placed.push_back({i, x, y, size});
        x += size.width() + settings.hSpacing;
        rowHeight = std::max(rowHeight, size.height());
    }

    if (overflow) {
        const double lastRowY = y;
        while (!placed.empty() && placed.back().y == lastRowY
            && placed.back().x + placed.back().size.width() + settings.hSpacing + kOverflowButtonRoom > maxWidth)
            placed.pop_back();
        if (placed.empty()) {
            result.overflowPosition = QPointF(0, 0);
            result.totalSize = QSizeF(maxWidth, lastRowY + kEmptyOverflowHeight);
        } else {
            const Slot& last = placed.back();
            result.overflowPosition = QPointF(last.x + last.size.width() + settings.hSpacing, last.y);
            const double height = std::max(placed.front().size.height(), last.size.height());
            result.totalSize = QSizeF(maxWidth, lastRowY + height);
        }
    } else {
        const Slot& last = placed.back();
        result.totalSize = QSizeF(maxWidth, last.y + last.size.height());
    }
    for (const Slot& slot : placed)
        result.placements.emplace(slot.index, QPointF(slot.x, slot.y));
    return result;
}

} // namespace palaverly
