#pragma once

#include <QColor>
#include <QIcon>
#include <QPixmap>
#include <QString>

namespace palaverly {

// Icons by the symbol names the interface uses ("mic", "record.circle.fill", "BrandMark", ...).
// Each symbol maps to a freedesktop icon-theme name; our own SVG in resources/icons/ stands in
// when the theme lacks it, so the program looks the same without a theme.
//
// An untinted icon takes the palette's text colour (it follows a light or dark panel); a tinted
// one is filled with the given colour. An unknown symbol gives a null icon.
QIcon symbolIcon(const QString& symbol, const QColor& tint = QColor());
// The bundled drawing of a symbol at `size` pixels, filled with `color`. Drawn once per size and
// colour and kept in the pixmap cache; main thread only.
QPixmap symbolPixmap(const QString& symbol, int size, const QColor& color);
// Whether our resources hold a drawing for the symbol.
bool hasSymbol(const QString& symbol);

namespace colors {
// The program's accent colour (the "AccentColor" of the design).
inline QColor accent()
{
    return QColor(0x2F, 0x6F, 0xEB);
}
inline QColor red()
{
    return QColor(0xE5, 0x39, 0x35);
}
inline QColor orange()
{
    return QColor(0xF5, 0x8A, 0x1F);
}
} // namespace colors

} // namespace palaverly
