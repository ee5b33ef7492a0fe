#pragma once

#include <QPoint>
#include <QRect>
#include <QSize>
#include <QString>
#include <chrono>
#include <string_view>
#include <vector>

class QFont;

// The measures and rules of the dictation panel, apart from its widgets.
namespace palaverly::dictationpanel {

inline constexpr int kHistoryLength = 14; // level bars
inline constexpr double kBarWidth = 2.5;
inline constexpr double kBarSpacing = 3;
inline constexpr double kBarMaxHeight = 18;
inline constexpr std::chrono::milliseconds kBarInterval{60};
inline constexpr int kTopOffset = 96; // from the top of the screen's available area
inline constexpr int kErrorCharacters = 80;
inline constexpr int kErrorLines = 2;

// Height of one bar: 2 at silence, the full height at level 1.0, more above it (not clipped).
double barHeight(float level, double maxHeight = kBarMaxHeight);

// Height of the bar area: the full height, or the tallest bar when one is taller.
int areaHeight(const std::vector<float>& history, double maxHeight = kBarMaxHeight);

// One tick of the bars: the oldest level goes, `level` comes in on the right. An empty history
// stays empty.
void pushLevel(std::vector<float>& history, float level);

// The first 80 user-perceived characters of an error message.
QString errorExcerpt(std::string_view message);

// `text` laid out in `font` at `width`, at most `maxLines` lines; a longer text ends with "…"
// on the last line. Lines are joined with "\n".
QString clampLines(const QString& text, const QFont& font, int width, int maxLines = kErrorLines);

// Top-left corner of a panel of `size`: centred in `available`, its top edge 96 below the top.
QPoint panelOrigin(const QRect& available, const QSize& size);

} // namespace palaverly::dictationpanel
