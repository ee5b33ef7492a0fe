#include "ui/settings/SettingsAboutPane.h"

#include "common/BuildConfig.h"
#include "common/PlaceholderAddress.h"
#include "system/NotificationCenter.h"
#include "ui/settings/SettingsText.h"
#include "ui/widgets/WindowStyle.h"
#include "updater/LastCheckTime.h"

#include <QGuiApplication>
#include <QLabel>
#include <QPushButton>
#include <QUrl>
#include <QVBoxLayout>
#include <QWindow>

namespace palaverly {

SettingsAboutPane::Product SettingsAboutPane::builtProduct()
{
    return {QString::fromUtf8(build::kVersion), QString::fromUtf8(build::kBuildNumber),
        QString::fromUtf8(build::kAppcastUrl)};
}

SettingsAboutPane::SettingsAboutPane(
    QSettings& store, NotificationCenter& notifications, Product product, QWidget* parent)
    : QWidget(parent)
    , m_store(store)
{
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(28, 28, 28, 28);
    layout->setSpacing(8);
    layout->addWidget(
        style::symbolLabel(QStringLiteral("BrandMark"), 72, style::accentColor(), this), 0, Qt::AlignHCenter);
    layout->addSpacing(6);
    auto* name = style::titleLabel(QStringLiteral("Palaverly"), 9, this);
    name->setAlignment(Qt::AlignHCenter);
    layout->addWidget(name);
    auto* version
        = style::wrappedLabel(settingsText::versionLine(product.shortVersion, product.buildNumber), true, this);
    version->setObjectName(QStringLiteral("versionLine"));
    version->setAlignment(Qt::AlignHCenter);
    version->setTextInteractionFlags(Qt::TextSelectableByMouse);
    layout->addWidget(version);
    layout->addSpacing(14);

    if (isPlaceholderAddress(product.feedUrl.toStdString())) {
        // This build has no update feed: its updates come with the system's packages.
        auto* packaged = style::wrappedLabel(
            QStringLiteral("Обновления приходят вместе с пакетами системы — через её менеджер пакетов."), true, this);
        packaged->setObjectName(QStringLiteral("packageManagerLine"));
        packaged->setAlignment(Qt::AlignHCenter);
        layout->addWidget(packaged);
        layout->addStretch(1);
        return;
    }

    auto* check = new QPushButton(QStringLiteral("Проверить обновления"), this);
    check->setObjectName(QStringLiteral("checkForUpdatesButton"));
    check->setMinimumHeight(30);
    check->setStyleSheet(QStringLiteral("QPushButton { padding: 4px 16px; }"));
    layout->addWidget(check, 0, Qt::AlignHCenter);
    connect(check, &QPushButton::clicked, this,
        [&notifications] { notifications.post(QString::fromLatin1(notifications::kCheckForUpdates)); });
    m_lastCheck = style::wrappedLabel({}, true, this);
    m_lastCheck->setObjectName(QStringLiteral("lastCheckLine"));
    m_lastCheck->setAlignment(Qt::AlignHCenter);
    QFont small = m_lastCheck->font();
    small.setPointSizeF(small.pointSizeF() - 1);
    m_lastCheck->setFont(small);
    layout->addWidget(m_lastCheck);
    layout->addSpacing(14);

    const QString site = settingsText::siteUrl(product.feedUrl);
    const QString support = settingsText::supportUrl(product.feedUrl);
    QStringList links;
    if (!site.isEmpty())
        links << QStringLiteral("<a href=\"%1\">%2</a>").arg(site.toHtmlEscaped(), QUrl(site).host().toHtmlEscaped());
    if (!support.isEmpty())
        links << QStringLiteral("<a href=\"%1\">Поддержка</a>").arg(support.toHtmlEscaped());
    auto* linkLine = new QLabel(links.join(QStringLiteral(" &nbsp;·&nbsp; ")), this);
    linkLine->setObjectName(QStringLiteral("links"));
    linkLine->setTextFormat(Qt::RichText);
    linkLine->setOpenExternalLinks(true);
    linkLine->setAlignment(Qt::AlignHCenter);
    layout->addWidget(linkLine);
    layout->addStretch(1);

    connect(qGuiApp, &QGuiApplication::focusWindowChanged, this, [this](QWindow* window) {
        if (window)
            refreshLastCheck();
    });
    refreshLastCheck();
}

void SettingsAboutPane::refreshLastCheck()
{
    if (!m_lastCheck)
        return; // no update feed, no checks
    m_lastCheck->setText(settingsText::lastCheckedLine(readLastCheckTime(m_store)));
}

void SettingsAboutPane::showEvent(QShowEvent* event)
{
    refreshLastCheck();
    QWidget::showEvent(event);
}

} // namespace palaverly
