#pragma once

#include <QColor>
#include <QFont>
#include <QPlainTextEdit>
#include <QString>

class QFrame;
class QLabel;
class QMessageBox;
class QPushButton;
class QWidget;
class QPalette;

namespace palaverly::style {

// Sizes in the views are logical pixels (the "points" of the design); fonts too, so an
// "11-point" caption is 11 pixels high whatever the font DPI.
QFont font(qreal pixelSize, QFont::Weight weight = QFont::Normal);

QColor secondaryText(const QPalette& palette);
QColor tertiaryText(const QPalette& palette);
// A faint fill for chips, badges and hovered rows.
QColor faintFill(const QPalette& palette);

// A label that shows its text as given: never rich text, never a link.
QLabel* plainLabel(const QString& text, QWidget* parent = nullptr);
// A sunken horizontal line between two sections.
QFrame* separatorLine(QWidget* parent);
// Colours a label's text without touching its palette's other roles.
void setTextColor(QWidget* widget, const QColor& color);

// A window-modal confirmation with a bold plain-text title (set later with setText), a message,
// a destructive button and "Отмена" (the default, also for Escape). `confirm` receives the
// destructive button.
QMessageBox* confirmationDialog(
    QWidget* parent, const QString& message, const QString& confirmText, QPushButton** confirm);

// Read-only, selectable plain text on the window's background, with room around the text that
// scrolls with it.
class PlainTextView : public QPlainTextEdit {
public:
    PlainTextView(qreal pixelSize, const QMargins& margins, QWidget* parent = nullptr);
};

} // namespace palaverly::style
