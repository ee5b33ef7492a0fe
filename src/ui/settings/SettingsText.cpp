#include "ui/settings/SettingsText.h"

#include "ui/logic/LibraryLogic.h"

#include <QUrl>

namespace palaverly::settingsText {

QString versionLine(const QString& shortVersion, const QString& buildNumber)
{
    return QStringLiteral("Версия %1 (build %2)").arg(shortVersion, buildNumber);
}

QString lastCheckedLine(const std::optional<QDateTime>& at)
{
    if (!at || !at->isValid())
        return QStringLiteral("Никогда не проверялось");
    return QStringLiteral("Проверено ")
        + russianLocale().toString(at->toLocalTime(), QStringLiteral("d MMMM yyyy, HH:mm"));
}

QString siteUrl(const QString& feedUrl)
{
    const QUrl url(feedUrl);
    if (url.host().isEmpty())
        return {};
    return url.adjusted(QUrl::RemovePath | QUrl::RemoveQuery | QUrl::RemoveFragment | QUrl::RemoveUserInfo)
        .toString(QUrl::StripTrailingSlash);
}

QString supportUrl(const QString& feedUrl)
{
    const QString host = QUrl(feedUrl).host();
    if (host.isEmpty())
        return {};
    return QStringLiteral("mailto:support@") + host;
}

} // namespace palaverly::settingsText
