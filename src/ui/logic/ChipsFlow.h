#pragma once

#include <QPointF>
#include <QSizeF>
#include <map>
#include <optional>
#include <vector>

namespace palaverly {

// Where the speaker chips and the overflow button go: chips flow left to right in at most
// `maxRows` rows; when they do not all fit, chips are taken off the last row until 80 points
// are free for the overflow button after the last one.
struct ChipsFlowSettings {
    int maxRows = 2;
    double hSpacing = 8;
    double vSpacing = 6;
};

struct ChipsFlowPlacement {
    // Chip index to its top-left corner; chips cut by the overflow have no entry.
    std::map<int, QPointF> placements;
    // Present only when some chips did not fit.
    std::optional<QPointF> overflowPosition;
    QSizeF totalSize;
};

// The room kept for the overflow button after the last visible chip.
inline constexpr double kOverflowButtonRoom = 80;
// Height of the bar when every chip was cut.
inline constexpr double kEmptyOverflowHeight = 24;

ChipsFlowPlacement placeChips(const std::vector<QSizeF>& chipSizes, double maxWidth, const ChipsFlowSettings& settings);

} // namespace palaverly
