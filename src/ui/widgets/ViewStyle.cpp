#include "ui/widgets/ViewStyle.h"

#include <QApplication>
#include <QFrame>
#include <QLabel>
#include <QMessageBox>
#include <QPalette>
#include <QPushButton>

namespace palaverly::style {

QFont font(qreal pixelSize, QFont::Weight weight)
{
    QFont f = QApplication::font();
    f.setPixelSize(qRound(pixelSize));
    f.setWeight(weight);
    return f;
}

QColor secondaryText(const QPalette& palette)
{
    QColor c = palette.color(QPalette::WindowText);
    c.setAlphaF(0.62f);
    return c;
}

QColor tertiaryText(const QPalette& palette)
{
    QColor c = palette.color(QPalette::WindowText);
    c.setAlphaF(0.42f);
    return c;
}

QColor faintFill(const QPalette& palette)
{
    QColor c = palette.color(QPalette::WindowText);
    c.setAlphaF(0.07f);
    return c;
}

QLabel* plainLabel(const QString& text, QWidget* parent)
{
    auto* label = new QLabel(parent);
    label->setTextFormat(Qt::PlainText);
    label->setText(text);
    return label;
}

QFrame* separatorLine(QWidget* parent)
{
    auto* line = new QFrame(parent);
    line->setFrameShape(QFrame::HLine);
    line->setFrameShadow(QFrame::Sunken);
    return line;
}

void setTextColor(QWidget* widget, const QColor& color)
{
    QPalette palette = widget->palette();
    palette.setColor(QPalette::WindowText, color);
    palette.setColor(QPalette::Text, color);
    palette.setColor(QPalette::ButtonText, color);
    widget->setPalette(palette);
}

QMessageBox* confirmationDialog(
    QWidget* parent, const QString& message, const QString& confirmText, QPushButton** confirm)
{
    auto* box = new QMessageBox(parent);
    box->setIcon(QMessageBox::Warning);
    box->setTextFormat(Qt::PlainText);
    box->setInformativeText(message);
    // The title reads as a heading, and the message gets room to wrap like a sentence.
    box->setStyleSheet(QStringLiteral("QLabel#qt_msgbox_label { font-weight: bold; min-width: 300px; }"
                                      "QLabel#qt_msgbox_informativelabel { min-width: 300px; }"));
    *confirm = box->addButton(confirmText, QMessageBox::DestructiveRole);
    QPushButton* cancel = box->addButton(QStringLiteral("Отмена"), QMessageBox::RejectRole);
    box->setDefaultButton(cancel);
    box->setEscapeButton(cancel);
    box->setWindowModality(Qt::WindowModal);
    return box;
}

PlainTextView::PlainTextView(qreal pixelSize, const QMargins& margins, QWidget* parent)
    : QPlainTextEdit(parent)
{
    setReadOnly(true);
    setFrameShape(QFrame::NoFrame);
    setFont(style::font(pixelSize));
    setViewportMargins(margins);
    setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    QPalette transparent = palette();
    transparent.setColor(QPalette::Base, Qt::transparent);
    setPalette(transparent);
    viewport()->setAutoFillBackground(false);
}

} // namespace palaverly::style
