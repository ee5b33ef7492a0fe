#pragma once

// Widgets: include only from tests registered with GUI.
#include <QAction>
#include <QMenu>
#include <QMessageBox>
#include <QPushButton>
#include <QStringList>

namespace palaverly::test {

// A message box's button with the text, or nothing.
inline QPushButton* buttonWithText(const QMessageBox* box, const QString& text)
{
    for (QAbstractButton* button : box->buttons())
        if (button->text() == text)
            return qobject_cast<QPushButton*>(button);
    return nullptr;
}

// A menu as the user reads it: the actions' texts, "—" for a separator.
inline QStringList menuTexts(const QMenu* menu)
{
    QStringList out;
    for (const QAction* action : menu->actions())
        out << (action->isSeparator() ? QStringLiteral("—") : action->text());
    return out;
}

inline QAction* menuAction(const QMenu* menu, const QString& text)
{
    for (QAction* action : menu->actions())
        if (action->text() == text)
            return action;
    return nullptr;
}

} // namespace palaverly::test
