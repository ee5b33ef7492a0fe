#pragma once

#include <QColor>
#include <QString>

class QLabel;
class QPushButton;
class QWidget;

// Colours, fonts and small building blocks shared by the onboarding and settings windows.
namespace palaverly::style {

// The application's accent colour.
QColor accentColor();
QColor systemGreen();
QColor systemRed();
QColor systemOrange();

// A label that wraps its text; `secondary` uses the secondary text colour.
QLabel* wrappedLabel(const QString& text, bool secondary, QWidget* parent = nullptr);
// A label in a larger bold font (`pointDelta` points above the application font).
QLabel* titleLabel(const QString& text, int pointDelta, QWidget* parent = nullptr);
// A label that shows one of our symbols.
QLabel* symbolLabel(const QString& symbol, int size, const QColor& color, QWidget* parent = nullptr);
void setSymbol(QLabel* label, const QString& symbol, int size, const QColor& color);

// The prominent, large primary button (filled with the accent colour).
void makeProminent(QPushButton* button);
// A borderless button drawn like a link, in the accent colour.
void makeLinkStyle(QPushButton* button);

} // namespace palaverly::style
