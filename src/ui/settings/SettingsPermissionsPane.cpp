#include "ui/settings/SettingsPermissionsPane.h"

#include "system/NotificationCenter.h"
#include "system/PermissionsSnapshot.h"
#include "ui/widgets/PermissionPane.h"
#include "ui/widgets/SessionFeaturesView.h"
#include "ui/widgets/ViewStyle.h"
#include "ui/widgets/WindowStyle.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QPointer>
#include <QPushButton>
#include <QVBoxLayout>

namespace palaverly {

namespace {

struct RowText {
    const char* title;
    const char* subtitle;
};

const RowText kRowTexts[] = {
    {"Микрофон", "Запись вашего голоса"},
    {"Запись экрана", "Захват звука системы"},
    {"Универсальный доступ", "Глобальные хоткеи и push-to-talk"},
};

} // namespace

SettingsPermissionsPane::SettingsPermissionsPane(
    PermissionsSnapshot& snapshot, NotificationCenter& notifications, QWidget* parent)
    : QWidget(parent)
    , m_snapshot(snapshot)
    , m_notifications(notifications)
{
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(28, 20, 28, 24);
    layout->setSpacing(10);
    layout->addWidget(style::titleLabel(QStringLiteral("Системные разрешения"), 3, this));
    layout->addWidget(
        style::wrappedLabel(QStringLiteral("Если разрешение запрещено, придётся открыть Настройки системы и "
                                           "включить тумблер вручную — приложение не может это сделать за "
                                           "вас."),
            true, this));
    layout->addSpacing(8);

    auto* grid = new QGridLayout;
    grid->setHorizontalSpacing(12);
    grid->setVerticalSpacing(14);
    grid->setColumnStretch(1, 1);
    for (std::size_t index = 0; index < kAllPermissionKinds.size(); ++index) {
        const PermissionKind kind = kAllPermissionKinds[index];
        const int row = static_cast<int>(index);
        grid->addWidget(style::symbolLabel(PermissionPane::texts(kind).icon, 24, style::accentColor(), this), row, 0,
            Qt::AlignVCenter);

        auto* text = new QVBoxLayout;
        text->setSpacing(1);
        text->addWidget(style::titleLabel(QString::fromUtf8(kRowTexts[index].title), 0, this));
        text->addWidget(style::wrappedLabel(QString::fromUtf8(kRowTexts[index].subtitle), true, this));
        grid->addLayout(text, row, 1);

        Row& widgets = m_rows[index];
        auto* state = new QHBoxLayout;
        state->setSpacing(5);
        widgets.stateIcon = new QLabel(this);
        widgets.stateText = new QLabel(this);
        widgets.stateText->setObjectName(QStringLiteral("stateText"));
        state->addWidget(widgets.stateIcon, 0, Qt::AlignVCenter);
        state->addWidget(widgets.stateText, 0, Qt::AlignVCenter);
        grid->addLayout(state, row, 2, Qt::AlignVCenter);

        widgets.button = new QPushButton(this);
        widgets.button->setObjectName(QStringLiteral("permissionButton"));
        widgets.button->setMinimumWidth(150);
        // The states stay in one column whether or not a row has a button.
        QSizePolicy policy = widgets.button->sizePolicy();
        policy.setRetainSizeWhenHidden(true);
        widgets.button->setSizePolicy(policy);
        grid->addWidget(widgets.button, row, 3, Qt::AlignVCenter);
        connect(widgets.button, &QPushButton::clicked, this, [this, kind] { buttonClicked(kind); });
    }
    layout->addLayout(grid);
    if (SessionInput* session = m_snapshot.sessionInput()) {
        layout->addSpacing(8);
        layout->addWidget(style::separatorLine(this));
        layout->addWidget(new SessionFeaturesView(*session, this));
    }

    layout->addSpacing(8);
    layout->addWidget(style::separatorLine(this));
    auto* wizard = new QHBoxLayout;
    wizard->setSpacing(12);
    wizard->addWidget(
        style::wrappedLabel(QStringLiteral("Тот же экран, который показывается при первом запуске."), true, this), 1);
    auto* openWizard = new QPushButton(QStringLiteral("Открыть мастер настройки…"), this);
    openWizard->setObjectName(QStringLiteral("openWizardButton"));
    wizard->addWidget(openWizard, 0, Qt::AlignVCenter);
    layout->addLayout(wizard);
    layout->addStretch(1);
    connect(openWizard, &QPushButton::clicked, this,
        [this] { m_notifications.post(QString::fromLatin1(notifications::kOpenOnboarding)); });

    for (auto changed : {&PermissionsSnapshot::microphoneChanged, &PermissionsSnapshot::screenRecordingChanged,
             &PermissionsSnapshot::accessibilityChanged})
        connect(&m_snapshot, changed, this, &SettingsPermissionsPane::updateRows);
    updateRows();
}

void SettingsPermissionsPane::updateRows()
{
    for (std::size_t index = 0; index < kAllPermissionKinds.size(); ++index) {
        const PermissionKind kind = kAllPermissionKinds[index];
        Row& row = m_rows[index];
        switch (m_snapshot.status(kind)) {
        case PermissionStatus::granted:
            style::setSymbol(row.stateIcon, QStringLiteral("checkmark.circle.fill"), 16, style::systemGreen());
            row.stateText->setText(QStringLiteral("Выдано"));
            row.button->hide();
            break;
        case PermissionStatus::denied:
            style::setSymbol(row.stateIcon, QStringLiteral("xmark.circle.fill"), 16, style::systemRed());
            row.stateText->setText(QStringLiteral("Запрещено"));
            row.button->setText(QStringLiteral("Открыть Настройки"));
            row.button->setEnabled(true);
            row.button->show();
            break;
        case PermissionStatus::notDetermined:
            style::setSymbol(
                row.stateIcon, QStringLiteral("questionmark.circle.fill"), 16, style::secondaryText(palette()));
            row.stateText->setText(QStringLiteral("Не запрошено"));
            row.button->setText(QStringLiteral("Запросить"));
            row.button->setEnabled(m_requestInFlight != kind);
            row.button->show();
            break;
        }
    }
}

void SettingsPermissionsPane::buttonClicked(PermissionKind kind)
{
    if (m_snapshot.status(kind) == PermissionStatus::denied) {
        m_snapshot.openSystemSettings(kind);
        return;
    }
    if (m_requestInFlight)
        return;
    m_requestInFlight = kind;
    updateRows();
    // Answered through the snapshot's event loop; the pane may be gone by then.
    m_snapshot.request(kind, [pane = QPointer<SettingsPermissionsPane>(this)](PermissionStatus) {
        if (!pane)
            return;
        pane->m_requestInFlight.reset();
        pane->m_snapshot.refresh();
        pane->updateRows();
    });
}

} // namespace palaverly
