#include "ui/widgets/SymbolIcon.h"

#include <QImage>
#include <gtest/gtest.h>

using namespace palaverly;

TEST(SymbolIconTest, BlackTakesTheColourAndWhiteBecomesAHole)
{
    const QColor green(0x28, 0xA7, 0x45);
    const QImage tick
        = symbolPixmap("checkmark.circle.fill", 48, green).toImage().convertToFormat(QImage::Format_ARGB32);
    ASSERT_EQ(tick.size(), QSize(48, 48));
    // The disc away from the tick is the colour, fully opaque.
    EXPECT_EQ(tick.pixel(24, 8), qRgba(green.red(), green.green(), green.blue(), 255));
    // The tick's corner (10.5, 15.6 in the 24-unit drawing) is cut out of the disc.
    EXPECT_LT(qAlpha(tick.pixel(21, 31)), 40);
    // Outside the disc nothing is drawn.
    EXPECT_EQ(qAlpha(tick.pixel(0, 0)), 0);

    EXPECT_TRUE(symbolPixmap("no.such.symbol", 16, green).isNull());
    EXPECT_TRUE(symbolIcon("no.such.symbol").isNull());
    for (const char* used : {"BrandMark", "mic.circle", "command", "command.circle", "rectangle.on.rectangle",
             "checkmark.circle", "checkmark.seal.fill", "lock.shield", "exclamationmark.circle.fill",
             "exclamationmark.circle", "arrow.up.forward.app", "info.circle", "xmark.circle.fill",
             "questionmark.circle.fill", "gearshape", "stop.circle.fill", "person.2.wave.2", "mic.fill"})
        EXPECT_TRUE(hasSymbol(used)) << used;
}
