#include "ui/widgets/WindowStyle.h"

#include "ui/widgets/SymbolIcon.h"
#include "ui/widgets/ViewStyle.h"

#include <QLabel>
#include <QPushButton>

namespace palaverly::style {

QColor accentColor()
{
    return colors::accent();
}

QColor systemGreen()
{
    return QColor(0x28, 0xA7, 0x45);
}

QColor systemRed()
{
    return colors::red();
}

QColor systemOrange()
{
    return colors::orange();
}

QLabel* wrappedLabel(const QString& text, bool secondary, QWidget* parent)
{
    auto* label = new QLabel(text, parent);
    label->setWordWrap(true);
    label->setTextFormat(Qt::PlainText);
    if (secondary) {
        QPalette palette = label->palette();
        palette.setColor(QPalette::WindowText, secondaryText(palette));
        label->setPalette(palette);
    }
    return label;
}

QLabel* titleLabel(const QString& text, int pointDelta, QWidget* parent)
{
    auto* label = new QLabel(text, parent);
    label->setTextFormat(Qt::PlainText);
    label->setWordWrap(true);
    QFont font = label->font();
    font.setPointSizeF(font.pointSizeF() + pointDelta);
    font.setBold(true);
    label->setFont(font);
    return label;
}

void setSymbol(QLabel* label, const QString& symbol, int size, const QColor& color)
{
    label->setPixmap(symbolPixmap(symbol, size, color));
    label->setFixedSize(size, size);
    label->setProperty("symbol", symbol);
}

QLabel* symbolLabel(const QString& symbol, int size, const QColor& color, QWidget* parent)
{
    auto* label = new QLabel(parent);
    setSymbol(label, symbol, size, color);
    return label;
}

void makeProminent(QPushButton* button)
{
    const QColor accent = accentColor();
    button->setStyleSheet(
        QStringLiteral("QPushButton { background: %1; color: white; border: none; border-radius: 7px;"
                       " padding: 8px 26px; font-weight: 600; min-width: 96px; }"
                       "QPushButton:hover { background: %2; }"
                       "QPushButton:pressed { background: %3; }"
                       "QPushButton:disabled { background: %4; }")
            .arg(accent.name(), accent.lighter(110).name(), accent.darker(115).name(), accent.lighter(150).name()));
    button->setDefault(true);
    button->setCursor(Qt::PointingHandCursor);
}

void makeLinkStyle(QPushButton* button)
{
    button->setFlat(true);
    button->setCursor(Qt::PointingHandCursor);
    button->setStyleSheet(
        QStringLiteral("QPushButton { color: %1; border: none; background: transparent; padding: 2px; }"
                       "QPushButton:hover { text-decoration: underline; }")
            .arg(accentColor().name()));
}

} // namespace palaverly::style
