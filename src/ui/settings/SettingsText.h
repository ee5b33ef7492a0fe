#pragma once

#include <QDateTime>
#include <QString>
#include <optional>

// Texts of the settings window that are computed rather than fixed.
namespace palaverly::settingsText {

// "Версия 1.2.0 (build 17)".
QString versionLine(const QString& shortVersion, const QString& buildNumber);

// "Проверено 4 декабря 2024, 09:05" in local time, or "Никогда не проверялось".
QString lastCheckedLine(const std::optional<QDateTime>& at);

// The product site is the origin the update feed is served from; support mail goes to
// support@ its host. Empty when the feed address has no host.
QString siteUrl(const QString& feedUrl);
QString supportUrl(const QString& feedUrl);

} // namespace palaverly::settingsText
