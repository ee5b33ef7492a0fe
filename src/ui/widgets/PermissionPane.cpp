#include "ui/widgets/PermissionPane.h"

#include "ui/widgets/SymbolIcon.h"
#include "ui/widgets/WindowStyle.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QStackedWidget>
#include <QVBoxLayout>

namespace palaverly {

namespace {

// Pages of the status area, one per PermissionStatus.
constexpr int kGrantedPage = 0;
constexpr int kNotDeterminedPage = 1;
constexpr int kDeniedPage = 2;

QWidget* symbolAndText(const QString& symbol, const QColor& color, const QString& text, QWidget* parent)
{
    auto* row = new QWidget(parent);
    auto* layout = new QHBoxLayout(row);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(8);
    layout->addStretch(1);
    layout->addWidget(style::symbolLabel(symbol, 20, color, row), 0, Qt::AlignVCenter);
    auto* label = style::wrappedLabel(text, false, row);
    label->setWordWrap(false);
    layout->addWidget(label, 0, Qt::AlignVCenter);
    layout->addStretch(1);
    return row;
}

} // namespace

PermissionPane::Texts PermissionPane::texts(PermissionKind kind)
{
    switch (kind) {
    case PermissionKind::microphone:
        return {QStringLiteral("mic.fill"), QStringLiteral("Микрофон"),
            QStringLiteral("Нужен, чтобы записывать ваш голос — без него встречи и заметки получатся без вас.")};
    case PermissionKind::screenRecording:
        return {QStringLiteral("rectangle.on.rectangle"), QStringLiteral("Запись экрана"),
            QStringLiteral("Нужно, чтобы захватывать звук системы — речь собеседников из Sber Jazz, Meet, браузера. "
                           "Видео не записывается.")};
    case PermissionKind::accessibility:
        return {QStringLiteral("command.circle"), QStringLiteral("Универсальный доступ"),
            QStringLiteral("Главное — для голосового ввода. Вы зажимаете хоткей в любом приложении, наговариваете "
                           "текст — отпустили, и он сам появляется там, где стоит курсор: в письме, в Telegram, в "
                           "поисковой строке. Также нужен для хоткеев «начать встречу» и «остановить запись» из "
                           "любого окна.")};
    }
    return {};
}

PermissionPane::PermissionPane(PermissionKind kind, QWidget* parent)
    : QWidget(parent)
    , m_kind(kind)
{
    const Texts text = texts(kind);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(24, 0, 24, 0);
    layout->setSpacing(12);
    layout->addStretch(1);
    layout->addWidget(style::symbolLabel(text.icon, 56, style::accentColor(), this), 0, Qt::AlignHCenter);
    layout->addSpacing(4);
    auto* title = style::titleLabel(text.title, 8, this);
    title->setAlignment(Qt::AlignHCenter);
    layout->addWidget(title);
    auto* explanation = style::wrappedLabel(text.explanation, true, this);
    explanation->setAlignment(Qt::AlignHCenter);
    layout->addWidget(explanation);
    layout->addSpacing(16);

    m_statusArea = new QStackedWidget(this);
    m_statusArea->setObjectName(QStringLiteral("statusArea"));

    auto* granted = symbolAndText(QStringLiteral("checkmark.circle.fill"), style::systemGreen(),
        QStringLiteral("Разрешение выдано"), m_statusArea);
    granted->setObjectName(QStringLiteral("grantedState"));
    m_statusArea->insertWidget(kGrantedPage, granted);

    auto* requestPage = new QWidget(m_statusArea);
    auto* requestLayout = new QHBoxLayout(requestPage);
    requestLayout->setContentsMargins(0, 0, 0, 0);
    m_requestButton
        = new QPushButton(symbolIcon(QStringLiteral("lock.shield")), QStringLiteral("Запросить доступ"), requestPage);
    m_requestButton->setObjectName(QStringLiteral("requestButton"));
    m_requestButton->setIconSize(QSize(18, 18));
    m_requestButton->setMinimumHeight(36);
    m_requestButton->setStyleSheet(QStringLiteral("QPushButton { padding: 6px 18px; }"));
    requestLayout->addStretch(1);
    requestLayout->addWidget(m_requestButton);
    requestLayout->addStretch(1);
    m_statusArea->insertWidget(kNotDeterminedPage, requestPage);
    connect(m_requestButton, &QPushButton::clicked, this, [this] { emit requestClicked(m_kind); });

    auto* deniedPage = new QWidget(m_statusArea);
    deniedPage->setObjectName(QStringLiteral("deniedState"));
    auto* deniedLayout = new QVBoxLayout(deniedPage);
    deniedLayout->setContentsMargins(0, 0, 0, 0);
    deniedLayout->setSpacing(10);
    deniedLayout->addWidget(symbolAndText(QStringLiteral("exclamationmark.circle.fill"), style::systemOrange(),
        QStringLiteral("Доступ запрещён — откройте Настройки и включите"), deniedPage));
    auto* openSettings = new QPushButton(
        symbolIcon(QStringLiteral("arrow.up.forward.app")), QStringLiteral("Открыть Настройки"), deniedPage);
    openSettings->setObjectName(QStringLiteral("openSettingsButton"));
    openSettings->setIconSize(QSize(16, 16));
    openSettings->setMinimumHeight(32);
    openSettings->setStyleSheet(QStringLiteral("QPushButton { padding: 4px 16px; }"));
    deniedLayout->addWidget(openSettings, 0, Qt::AlignHCenter);
    m_statusArea->insertWidget(kDeniedPage, deniedPage);
    connect(openSettings, &QPushButton::clicked, this, [this] { emit openSettingsClicked(m_kind); });

    layout->addWidget(m_statusArea);
    layout->addStretch(1);
    setState(PermissionStatus::notDetermined, false);
}

void PermissionPane::setDetails(QWidget* details)
{
    delete m_details;
    m_details = details;
    auto* box = static_cast<QVBoxLayout*>(layout());
    // Above the closing stretch.
    box->insertWidget(box->count() - 1, details);
}

void PermissionPane::setState(PermissionStatus status, bool requestInFlight)
{
    switch (status) {
    case PermissionStatus::granted:
        m_statusArea->setCurrentIndex(kGrantedPage);
        break;
    case PermissionStatus::notDetermined:
        m_statusArea->setCurrentIndex(kNotDeterminedPage);
        break;
    case PermissionStatus::denied:
        m_statusArea->setCurrentIndex(kDeniedPage);
        break;
    }
    m_requestButton->setEnabled(!requestInFlight);
}

} // namespace palaverly
