#include "ui/settings/SettingsGeneralPane.h"

#include "system/AppSettings.h"
#include "system/AutostartEntry.h"
#include "system/PermissionsSnapshot.h"
#include "system/PortalShortcuts.h"
#include "system/SessionInput.h"
#include "ui/settings/ShortcutRecorderField.h"
#include "ui/widgets/ViewStyle.h"
#include "ui/widgets/WindowStyle.h"

#include <QCheckBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <utility>
#include <vector>

namespace palaverly {

namespace {

constexpr int kLabelColumn = 0;
constexpr int kControlColumn = 1;

QLabel* sectionHeading(const QString& text, QWidget* parent)
{
    auto* label = style::titleLabel(text, 1, parent);
    label->setWordWrap(false);
    return label;
}

QWidget* rowLabel(const QString& text, const QString& symbol, const QColor& color, QWidget* parent)
{
    auto* row = new QWidget(parent);
    auto* layout = new QHBoxLayout(row);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(6);
    layout->addStretch(1);
    if (!symbol.isEmpty())
        layout->addWidget(style::symbolLabel(symbol, 16, color, row), 0, Qt::AlignVCenter);
    layout->addWidget(new QLabel(text, row), 0, Qt::AlignVCenter);
    return row;
}

// Connects a recorder with one hotkey of the settings in both directions.
template <typename Getter, typename Setter, typename Changed>
ShortcutRecorderField* boundField(AppSettings& settings, Getter get, Setter set, Changed changed, QWidget* parent)
{
    auto* field = new ShortcutRecorderField(parent);
    field->setHotkey((settings.*get)());
    QObject::connect(field, &ShortcutRecorderField::hotkeyEdited, &settings,
        [&settings, set](const HotkeyConfig& value) { (settings.*set)(value); });
    QObject::connect(&settings, changed, field, &ShortcutRecorderField::setHotkey);
    return field;
}

// Every field refuses a combination that one of the others has, naming that one.
void refuseSharedCombinations(const std::vector<std::pair<ShortcutRecorderField*, QString>>& fields)
{
    for (const auto& [field, name] : fields) {
        field->usedElsewhere = [fields, self = field](const HotkeyConfig& candidate) -> std::optional<QString> {
            for (const auto& [other, otherName] : fields)
                if (other != self && candidate.isAssigned() && other->hotkey() == candidate)
                    return otherName;
            return std::nullopt;
        };
    }
}

} // namespace

SettingsGeneralPane::SettingsGeneralPane(
    AppSettings& settings, PermissionsSnapshot& snapshot, AutostartEntry& autostart, QWidget* parent)
    : QWidget(parent)
    , m_settings(settings)
    , m_snapshot(snapshot)
    , m_autostart(autostart)
{
    auto* grid = new QGridLayout(this);
    grid->setContentsMargins(28, 20, 28, 24);
    grid->setHorizontalSpacing(14);
    grid->setVerticalSpacing(10);
    grid->setColumnStretch(kControlColumn, 1);
    grid->setColumnMinimumWidth(kLabelColumn, 190);
    int row = 0;
    auto addRow = [&](QWidget* label, QWidget* control) {
        if (label)
            grid->addWidget(label, row, kLabelColumn, Qt::AlignRight | Qt::AlignVCenter);
        grid->addWidget(control, row, kControlColumn, Qt::AlignLeft | Qt::AlignVCenter);
        ++row;
    };
    auto addFullRow = [&](QWidget* widget) {
        grid->addWidget(widget, row, kLabelColumn, 1, 2);
        ++row;
    };

    addFullRow(sectionHeading(QStringLiteral("Глобальные горячие клавиши"), this));
    m_meeting = boundField(settings, &AppSettings::meetingHotkey, &AppSettings::setMeetingHotkey,
        &AppSettings::meetingHotkeyChanged, this);
    m_meeting->setObjectName(QStringLiteral("meetingField"));
    addRow(rowLabel(QStringLiteral("Новая встреча"), {}, {}, this), withDesktopTrigger(m_meeting, "meeting"));
    m_note = boundField(
        settings, &AppSettings::noteHotkey, &AppSettings::setNoteHotkey, &AppSettings::noteHotkeyChanged, this);
    m_note->setObjectName(QStringLiteral("noteField"));
    addRow(rowLabel(QStringLiteral("Быстрая заметка"), {}, {}, this), withDesktopTrigger(m_note, "note"));
    m_stop = boundField(
        settings, &AppSettings::stopHotkey, &AppSettings::setStopHotkey, &AppSettings::stopHotkeyChanged, this);
    m_stop->setObjectName(QStringLiteral("stopField"));
    addRow(rowLabel(QStringLiteral("Остановить запись"), QStringLiteral("stop.circle.fill"), style::systemRed(), this),
        withDesktopTrigger(m_stop, "stop"));

    addFullRow(style::separatorLine(this));
    addFullRow(sectionHeading(QStringLiteral("Диктовка"), this));
    m_dictation = boundField(settings, &AppSettings::dictationHotkey, &AppSettings::setDictationHotkey,
        &AppSettings::dictationHotkeyChanged, this);
    m_dictation->setObjectName(QStringLiteral("dictationField"));
    addRow(
        rowLabel(QStringLiteral("Push-to-talk диктовка"), {}, {}, this), withDesktopTrigger(m_dictation, "dictation"));
    refuseSharedCombinations({{m_meeting, QStringLiteral("Новая встреча")}, {m_note, QStringLiteral("Быстрая заметка")},
        {m_stop, QStringLiteral("Остановить запись")}, {m_dictation, QStringLiteral("Push-to-talk диктовка")}});
    auto* explanation
        = style::wrappedLabel(QStringLiteral("Зажмите комбинацию — Palaverly слушает мик. Отпустите — текст "
                                             "вставится в активное поле через буфер обмена."),
            true, this);
    grid->addWidget(explanation, row++, kControlColumn);

    auto* accessibility = new QWidget(this);
    auto* accessibilityLayout = new QHBoxLayout(accessibility);
    accessibilityLayout->setContentsMargins(0, 0, 0, 0);
    accessibilityLayout->setSpacing(6);
    m_accessibilityIcon = new QLabel(accessibility);
    m_accessibilityText = style::wrappedLabel({}, false, accessibility);
    m_accessibilityText->setObjectName(QStringLiteral("accessibilityText"));
    m_accessibilityButton = new QPushButton(QStringLiteral("Открыть"), accessibility);
    m_accessibilityButton->setObjectName(QStringLiteral("openAccessibilityButton"));
    accessibilityLayout->addWidget(m_accessibilityIcon, 0, Qt::AlignTop);
    accessibilityLayout->addWidget(m_accessibilityText, 1);
    accessibilityLayout->addWidget(m_accessibilityButton, 0, Qt::AlignVCenter);
    grid->addWidget(accessibility, row++, kControlColumn);
    connect(m_accessibilityButton, &QPushButton::clicked, this,
        [this] { m_snapshot.openSystemSettings(PermissionKind::accessibility); });
    connect(&m_snapshot, &PermissionsSnapshot::accessibilityChanged, this, &SettingsGeneralPane::updateAccessibility);

    addFullRow(style::separatorLine(this));
    addFullRow(sectionHeading(QStringLiteral("Обновления"), this));
    m_autoCheck = new QCheckBox(QStringLiteral("Проверять автоматически"), this);
    m_autoCheck->setObjectName(QStringLiteral("autoCheckUpdates"));
    m_autoCheck->setChecked(settings.autoCheckUpdates());
    connect(m_autoCheck, &QCheckBox::toggled, &settings, &AppSettings::setAutoCheckUpdates);
    connect(&settings, &AppSettings::autoCheckUpdatesChanged, m_autoCheck, &QCheckBox::setChecked);
    addRow(nullptr, m_autoCheck);

    addFullRow(style::separatorLine(this));
    addFullRow(sectionHeading(QStringLiteral("Запуск"), this));
    m_autostartBox = new QCheckBox(QStringLiteral("Запускать при входе в систему"), this);
    m_autostartBox->setObjectName(QStringLiteral("autostart"));
    m_autostartBox->setChecked(m_autostart.isEnabled());
    connect(m_autostartBox, &QCheckBox::toggled, this, &SettingsGeneralPane::setAutostart);
    addRow(nullptr, m_autostartBox);
    m_autostartError = style::wrappedLabel({}, false, this);
    m_autostartError->setObjectName(QStringLiteral("autostartError"));
    QPalette errorPalette = m_autostartError->palette();
    errorPalette.setColor(QPalette::WindowText, style::systemRed());
    m_autostartError->setPalette(errorPalette);
    m_autostartError->hide();
    grid->addWidget(m_autostartError, row++, kControlColumn);
    grid->setRowStretch(row, 1);

    updateAccessibility();
    if (const SessionInput* session = m_snapshot.sessionInput(); session && session->shortcuts()) {
        connect(session->shortcuts().get(), &PortalShortcuts::triggersChanged, this,
            &SettingsGeneralPane::updateDesktopTriggers);
        updateDesktopTriggers();
    }
}

QWidget* SettingsGeneralPane::withDesktopTrigger(ShortcutRecorderField* field, const char* shortcutId)
{
    const SessionInput* session = m_snapshot.sessionInput();
    if (!session || !session->shortcuts())
        return field;
    auto* row = new QWidget(this);
    auto* layout = new QHBoxLayout(row);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(10);
    field->setParent(row);
    layout->addWidget(field, 0, Qt::AlignVCenter);
    auto* trigger = style::wrappedLabel({}, true, row);
    trigger->setWordWrap(false);
    trigger->setObjectName(QStringLiteral("desktopTrigger"));
    layout->addWidget(trigger, 0, Qt::AlignVCenter);
    layout->addStretch(1);
    m_desktopTriggers[QLatin1String(shortcutId)] = trigger;
    return row;
}

void SettingsGeneralPane::updateDesktopTriggers()
{
    const auto& shortcuts = *m_snapshot.sessionInput()->shortcuts();
    for (const auto& [id, label] : m_desktopTriggers) {
        const QString trigger = shortcuts.triggerDescription(id);
        label->setText(QStringLiteral("в системе: %1").arg(trigger));
        label->setVisible(!trigger.isEmpty());
    }
}

void SettingsGeneralPane::showEvent(QShowEvent* event)
{
    // The entry may have been changed by the desktop's own autostart settings meanwhile.
    const QSignalBlocker blocker(m_autostartBox);
    m_autostartBox->setChecked(m_autostart.isEnabled());
    QWidget::showEvent(event);
}

void SettingsGeneralPane::updateAccessibility()
{
    const bool granted = m_snapshot.accessibility() == PermissionStatus::granted;
    if (granted) {
        style::setSymbol(m_accessibilityIcon, QStringLiteral("checkmark.circle.fill"), 16, style::systemGreen());
        m_accessibilityText->setText(QStringLiteral("Accessibility разрешён."));
    } else {
        style::setSymbol(m_accessibilityIcon, QStringLiteral("exclamationmark.circle"), 16, style::systemOrange());
        m_accessibilityText->setText(
            QStringLiteral("Нужно разрешение Accessibility — без него хоткей и вставка текста не сработают."));
    }
    m_accessibilityButton->setVisible(!granted);
}

void SettingsGeneralPane::setAutostart(bool enabled)
{
    const std::optional<QString> failure = m_autostart.setEnabled(enabled);
    m_autostartError->setVisible(failure.has_value());
    if (!failure)
        return;
    m_autostartError->setText(*failure);
    const QSignalBlocker blocker(m_autostartBox);
    m_autostartBox->setChecked(m_autostart.isEnabled());
}

} // namespace palaverly
