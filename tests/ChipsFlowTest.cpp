#include "ui/logic/ChipsFlow.h"

#include <gtest/gtest.h>

using namespace palaverly;

namespace {
std::vector<QSizeF> chips(int count, double width = 100, double height = 24)
{
    return std::vector<QSizeF>(static_cast<std::size_t>(count), QSizeF(width, height));
}
} // namespace

TEST(ChipsFlowTest, EightChipsThatDoNotFitLeaveRoomForTheOverflowButton)
{
    const auto flow = placeChips(chips(8), 400, {});
    // Three chips per row (0, 108, 216); the third of the second row leaves only 76 points.
    ASSERT_TRUE(flow.overflowPosition);
    EXPECT_EQ(flow.placements.size(), 5u);
    EXPECT_EQ(flow.placements.at(2), QPointF(216, 0));
    EXPECT_EQ(flow.placements.at(3), QPointF(0, 30));
    EXPECT_EQ(flow.placements.at(4), QPointF(108, 30));
    EXPECT_EQ(*flow.overflowPosition, QPointF(216, 30));
    EXPECT_GE(400 - flow.overflowPosition->x(), kOverflowButtonRoom);
    EXPECT_EQ(flow.totalSize, QSizeF(400, 54));

    // Room enough: the last chip stays and the button follows it.
    const auto roomy = placeChips(chips(8), 420, {});
    EXPECT_EQ(roomy.placements.size(), 6u);
    EXPECT_EQ(*roomy.overflowPosition, QPointF(324, 30));
}

TEST(ChipsFlowTest, ChipsThatFitNeedNoOverflow)
{
    const auto flow = placeChips({QSizeF(100, 24), QSizeF(150, 30), QSizeF(120, 24)}, 300, {});
    EXPECT_FALSE(flow.overflowPosition);
    EXPECT_EQ(flow.placements.at(0), QPointF(0, 0));
    EXPECT_EQ(flow.placements.at(1), QPointF(108, 0));
    // The row is as high as its tallest chip.
    EXPECT_EQ(flow.placements.at(2), QPointF(0, 36));
    EXPECT_EQ(flow.totalSize, QSizeF(300, 60));

    // A chip exactly up to the edge fits; one wider than the bar still gets a row of its own.
    EXPECT_EQ(placeChips(chips(2, 146), 300, {}).placements.at(1), QPointF(154, 0));
    const auto wide = placeChips({QSizeF(500, 24)}, 300, {});
    EXPECT_EQ(wide.placements.at(0), QPointF(0, 0));
    EXPECT_FALSE(wide.overflowPosition);

    EXPECT_TRUE(placeChips({}, 300, {}).placements.empty());
    EXPECT_FALSE(placeChips({}, 300, {}).overflowPosition);
}

TEST(ChipsFlowTest, AFullWidthChipOnTheLastRowGivesWayToTheButton)
{
    // The second row's only chip leaves no room: it is cut and the button follows the first row.
    const auto flow = placeChips({QSizeF(250, 24), QSizeF(250, 28), QSizeF(100, 24)}, 300, {});
    ASSERT_TRUE(flow.overflowPosition);
    EXPECT_EQ(flow.placements.size(), 1u);
    EXPECT_EQ(*flow.overflowPosition, QPointF(258, 0));
    EXPECT_EQ(flow.totalSize, QSizeF(300, 30 + 24));

    // One row only.
    const auto oneRow = placeChips(chips(5), 300, {1, 8, 6});
    EXPECT_EQ(oneRow.placements.size(), 2u);
    EXPECT_EQ(*oneRow.overflowPosition, QPointF(216, 0));
    EXPECT_EQ(oneRow.totalSize.height(), 24);
}
