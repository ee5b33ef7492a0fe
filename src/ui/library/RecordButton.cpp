#include "ui/library/RecordButton.h"

#include "system/AppSettings.h"
#include "ui/logic/LibraryLogic.h"
#include "ui/logic/LibraryRecorder.h"
#include "ui/widgets/SymbolIcon.h"
#include "ui/widgets/ViewStyle.h"

#include <QMenu>
#include <QPainter>
#include <QProxyStyle>
#include <QStyleOptionMenuItem>

namespace palaverly {

namespace {

// Draws the text after a menu item's tab (its hotkey) in the secondary colour.
class SecondaryShortcutStyle : public QProxyStyle {
public:
    void drawControl(
        ControlElement element, const QStyleOption* option, QPainter* painter, const QWidget* widget) const override
    {
        const auto* item = qstyleoption_cast<const QStyleOptionMenuItem*>(option);
        const qsizetype tab = item ? item->text.indexOf(QLatin1Char('\t')) : -1;
        if (element != CE_MenuItem || tab < 0) {
            QProxyStyle::drawControl(element, option, painter, widget);
            return;
        }
        QStyleOptionMenuItem plain = *item;
        plain.text = item->text.left(tab);
        QProxyStyle::drawControl(element, &plain, painter, widget);
        const bool highlighted = item->state & State_Selected;
        painter->save();
        painter->setFont(item->font);
        painter->setPen(
            highlighted ? item->palette.color(QPalette::HighlightedText) : style::secondaryText(item->palette));
        const QRect text = item->rect.adjusted(0, 0, -(item->maxIconWidth > 0 ? 14 : 10), 0);
        painter->drawText(text, Qt::AlignRight | Qt::AlignVCenter | Qt::TextSingleLine, item->text.mid(tab + 1));
        painter->restore();
    }
};

} // namespace

RecordButton::RecordButton(LibraryRecorder& recorder, AppSettings* settings, QWidget* parent)
    : QToolButton(parent)
    , m_recorder(recorder)
    , m_settings(settings)
    , m_menu(new QMenu(this))
{
    auto* menuStyle = new SecondaryShortcutStyle;
    menuStyle->setParent(this);
    m_menu->setStyle(menuStyle);
    setObjectName(QStringLiteral("recordButton"));
    setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
    setAutoRaise(true);
    setIconSize(QSize(16, 16));
    connect(m_menu, &QMenu::aboutToShow, this, &RecordButton::rebuildMenu);
    connect(this, &QToolButton::clicked, this, [this] {
        // While recording the button stops the recording in progress through its own kind.
        if (m_recorder.isRecording())
            m_recorder.stopCurrent();
    });
    connect(&recorder, &LibraryRecorder::recordingStateChanged, this, &RecordButton::refresh);
    if (settings) {
        connect(settings, &AppSettings::meetingHotkeyChanged, this, &RecordButton::refresh);
        connect(settings, &AppSettings::noteHotkeyChanged, this, &RecordButton::refresh);
        connect(settings, &AppSettings::stopHotkeyChanged, this, &RecordButton::refresh);
    }
    rebuildMenu();
    refresh();
}

void RecordButton::refresh()
{
    if (m_recorder.isRecording()) {
        setMenu(nullptr);
        setPopupMode(QToolButton::DelayedPopup);
        setText(QStringLiteral("Остановить запись"));
        setIcon(symbolIcon(QStringLiteral("stop.circle.fill"), colors::red()));
        setToolTip(stopRecordingTitle(m_settings ? m_settings->stopHotkey().displayString() : QString()));
        setStyleSheet(QStringLiteral("QToolButton { color: %1; font-weight: 600; }").arg(colors::red().name()));
    } else {
        setMenu(m_menu);
        setPopupMode(QToolButton::InstantPopup);
        setText(QStringLiteral("Новая запись"));
        setIcon(symbolIcon(QStringLiteral("plus"), palette().color(QPalette::ButtonText)));
        setToolTip(QStringLiteral("Новая запись"));
        setStyleSheet(QStringLiteral("QToolButton::menu-indicator { image: none; width: 0; }"));
    }
}

void RecordButton::rebuildMenu()
{
    // The hotkey goes after a tab: the menu draws it right-aligned in its shortcut colour
    // without making it a shortcut of this window (the hotkeys are global already).
    const auto itemText = [this](const QString& title, HotkeyConfig (AppSettings::*hotkey)() const) {
        if (!m_settings)
            return title;
        const HotkeyConfig config = (m_settings->*hotkey)();
        return config.isAssigned() ? title + QLatin1Char('\t') + config.displayString() : title;
    };
    m_menu->clear();
    QAction* meeting = m_menu->addAction(symbolIcon(QStringLiteral("person.2.wave.2")),
        itemText(QStringLiteral("Новая встреча"), &AppSettings::meetingHotkey));
    connect(meeting, &QAction::triggered, &m_recorder, &LibraryRecorder::toggleMeeting);
    QAction* note = m_menu->addAction(
        symbolIcon(QStringLiteral("mic")), itemText(QStringLiteral("Быстрая заметка"), &AppSettings::noteHotkey));
    connect(note, &QAction::triggered, &m_recorder, &LibraryRecorder::toggleNote);
}

} // namespace palaverly
