#include "ui/onboarding/DonePane.h"

#include "system/PermissionsSnapshot.h"
#include "ui/widgets/WindowStyle.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

namespace palaverly {

namespace {

constexpr int kIconSize = 56;

QWidget* limitationRow(const QString& text, QWidget* parent)
{
    auto* row = new QWidget(parent);
    row->setObjectName(QStringLiteral("limitationRow"));
    auto* layout = new QHBoxLayout(row);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(8);
    layout->addWidget(style::symbolLabel(QStringLiteral("exclamationmark.circle.fill"), 16, style::systemOrange(), row),
        0, Qt::AlignVCenter);
    // Short lines; wrapping them inside the centred column would only squeeze them.
    auto* label = style::wrappedLabel(text, false, row);
    label->setWordWrap(false);
    label->setObjectName(QStringLiteral("limitationText"));
    layout->addWidget(label, 1, Qt::AlignVCenter);
    return row;
}

} // namespace

DonePane::DonePane(QWidget* parent)
    : QWidget(parent)
{
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(24, 0, 24, 0);
    layout->setSpacing(12);
    layout->addStretch(1);
    m_icon = style::symbolLabel(QStringLiteral("checkmark.circle"), kIconSize, style::accentColor(), this);
    layout->addWidget(m_icon, 0, Qt::AlignHCenter);
    layout->addSpacing(4);
    m_title = style::titleLabel({}, 8, this);
    m_title->setObjectName(QStringLiteral("doneTitle"));
    m_title->setAlignment(Qt::AlignHCenter);
    layout->addWidget(m_title);
    m_text = style::wrappedLabel({}, true, this);
    m_text->setObjectName(QStringLiteral("doneText"));
    m_text->setAlignment(Qt::AlignHCenter);
    layout->addWidget(m_text);
    layout->addSpacing(6);

    // The rows sit in a centred column as wide as the longest of them.
    auto* rows = new QWidget(this);
    auto* rowsLayout = new QVBoxLayout(rows);
    rowsLayout->setContentsMargins(0, 0, 0, 0);
    rowsLayout->setSpacing(8);
    m_limitations = {limitationRow(QStringLiteral("Без микрофона запись встреч и заметок невозможна"), rows),
        limitationRow(QStringLiteral("Без записи экрана не будет звука собеседников"), rows),
        limitationRow(QStringLiteral("Без универсального доступа не работают хоткеи и диктовка"), rows)};
    for (QWidget* row : m_limitations)
        rowsLayout->addWidget(row);
    layout->addWidget(rows, 0, Qt::AlignHCenter);
    layout->addSpacing(6);

    m_settingsButton = new QPushButton(QStringLiteral("Доделать в Настройках"), this);
    m_settingsButton->setObjectName(QStringLiteral("finishInSettingsButton"));
    style::makeLinkStyle(m_settingsButton);
    layout->addWidget(m_settingsButton, 0, Qt::AlignHCenter);
    connect(m_settingsButton, &QPushButton::clicked, this, &DonePane::openSettingsClicked);
    layout->addSpacing(6);

    m_services = new QWidget(this);
    m_services->setObjectName(QStringLiteral("servicesNotice"));
    auto* services = new QVBoxLayout(m_services);
    services->setContentsMargins(0, 0, 0, 0);
    services->setSpacing(8);
    auto* line = new QHBoxLayout;
    line->setSpacing(8);
    line->addWidget(
        style::symbolLabel(QStringLiteral("exclamationmark.triangle.fill"), 16, style::systemOrange(), m_services), 0,
        Qt::AlignTop);
    m_servicesText = style::wrappedLabel({}, false, m_services);
    m_servicesText->setObjectName(QStringLiteral("servicesNoticeText"));
    line->addWidget(m_servicesText, 1);
    services->addLayout(line);
    auto* open = new QPushButton(QStringLiteral("Настроить сервисы…"), m_services);
    open->setObjectName(QStringLiteral("openServicesButton"));
    services->addWidget(open, 0, Qt::AlignHCenter);
    connect(open, &QPushButton::clicked, this, &DonePane::openServicesClicked);
    m_services->hide();
    layout->addWidget(m_services);
    layout->addStretch(1);
}

void DonePane::showServicesNotice(const QString& notice)
{
    m_servicesText->setText(notice);
    m_services->setVisible(!notice.isEmpty());
}

void DonePane::showSnapshot(const PermissionsSnapshot& snapshot)
{
    const bool allGranted = snapshot.allGranted();
    if (allGranted) {
        style::setSymbol(m_icon, QStringLiteral("checkmark.seal.fill"), kIconSize, style::systemGreen());
        m_title->setText(QStringLiteral("Готово"));
        m_text->setText(
            QStringLiteral("Все разрешения выданы. Иконка Palaverly ждёт вас в меню-баре — кликните по ней, "
                           "чтобы записать встречу или быструю заметку."));
    } else {
        style::setSymbol(m_icon, QStringLiteral("checkmark.circle"), kIconSize, style::accentColor());
        m_title->setText(QStringLiteral("Почти готово"));
        m_text->setText(QStringLiteral("Можно начинать пользоваться, но кое-что работает с ограничениями:"));
    }
    for (std::size_t index = 0; index < m_limitations.size(); ++index) {
        const PermissionStatus status = snapshot.status(kAllPermissionKinds[index]);
        m_limitations[index]->setVisible(!allGranted && status != PermissionStatus::granted);
    }
    m_settingsButton->setVisible(!allGranted);
}

} // namespace palaverly
