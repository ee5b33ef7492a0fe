#include "updater/UpdaterLogger.h"

#include "common/BuildConfig.h"
#include "system/NotificationCenter.h"

#include <QDebug>
#include <QStringList>

namespace palaverly {

namespace {

QString yesNo(bool value)
{
    return value ? QStringLiteral("yes") : QStringLiteral("no");
}

} // namespace

UpdaterLogger::UpdaterLogger(NotificationCenter& notifications, QString feedUrl)
    : m_notifications(notifications)
    , m_feedUrl(std::move(feedUrl))
{
    writeLine(QStringLiteral("UpdaterLogger initialised"));
}

QString UpdaterLogger::compiledFeedUrl()
{
    return QString::fromUtf8(build::kAppcastUrl);
}

void UpdaterLogger::writeLine(const QString& text)
{
    qInfo().noquote() << QLatin1String(kPrefix) + u' ' + text;
}

QString UpdaterLogger::feedURLString()
{
    writeLine(QStringLiteral("feedURLString → %1").arg(m_feedUrl));
    return m_feedUrl;
}

void UpdaterLogger::willScheduleUpdateCheckAfterDelay(double seconds)
{
    writeLine(QStringLiteral("willScheduleUpdateCheckAfterDelay: %1s").arg(QString::number(seconds, 'f', 0)));
}

void UpdaterLogger::didFinishLoadingAppcast(const std::vector<AppcastItem>& items)
{
    QStringList versions;
    for (const AppcastItem& item : items)
        versions << item.versionString;
    writeLine(QStringLiteral("didFinishLoading appcast: %1 items [%2]")
                  .arg(QString::number(items.size()), versions.join(QStringLiteral(", "))));
}

void UpdaterLogger::didFindValidUpdate(const AppcastItem& item)
{
    writeLine(
        QStringLiteral("didFindValidUpdate: version=%1 short=%2").arg(item.versionString, item.displayVersionString));
}

void UpdaterLogger::didNotFindUpdate()
{
    writeLine(QStringLiteral("updaterDidNotFindUpdate (running version is current)"));
}

void UpdaterLogger::willDownloadUpdate(const AppcastItem&, const std::optional<QString>& requestUrl)
{
    writeLine(QStringLiteral("willDownloadUpdate: %1").arg(requestUrl ? *requestUrl : QStringLiteral("?")));
}

void UpdaterLogger::didDownloadUpdate(const AppcastItem& item)
{
    writeLine(QStringLiteral("didDownloadUpdate: %1").arg(item.versionString));
}

void UpdaterLogger::willInstallUpdate(const AppcastItem& item)
{
    writeLine(QStringLiteral("willInstallUpdate: %1").arg(item.versionString));
}

void UpdaterLogger::didAbortWithError(const UpdateError& error)
{
    writeLine(QStringLiteral("✘ didAbortWithError"));
    writeLine(QStringLiteral("  domain  = %1").arg(error.domain));
    writeLine(QStringLiteral("  code    = %1").arg(error.code));
    writeLine(QStringLiteral("  message = %1").arg(error.message));
    for (const auto& [key, value] : error.userInfo)
        writeLine(QStringLiteral("  userInfo[%1] = %2").arg(key, value));
    const UpdateError* underlying = error.underlying.get();
    for (int depth = 1; depth <= kMaxUnderlyingErrors && underlying; ++depth) {
        writeLine(QStringLiteral("  underlying[%1]: domain=%2 code=%3 — %4")
                      .arg(QString::number(depth), underlying->domain, QString::number(underlying->code),
                          underlying->message));
        underlying = underlying->underlying.get();
    }
}

void UpdaterLogger::willShowModalAlert()
{
    writeLine(QStringLiteral("UI: willShowModalAlert"));
}

void UpdaterLogger::didShowModalAlert()
{
    writeLine(QStringLiteral("UI: didShowModalAlert"));
}

bool UpdaterLogger::shouldHandleShowingScheduledUpdate(const AppcastItem&, bool immediateFocus)
{
    writeLine(QStringLiteral("shouldHandleShowingScheduledUpdate: immediateFocus=%1").arg(yesNo(immediateFocus)));
    return immediateFocus;
}

void UpdaterLogger::willHandleShowingUpdate(bool handle, const AppcastItem& item, bool userInitiated)
{
    writeLine(QStringLiteral("willHandleShowingUpdate: handle=%1 userInitiated=%2 version=%3")
                  .arg(yesNo(handle), yesNo(userInitiated), item.displayVersionString));
    if (!handle) {
        m_notifications.post(QString::fromLatin1(notifications::kUpdateAvailable),
            {{QStringLiteral("version"), item.displayVersionString}});
    }
}

void UpdaterLogger::didReceiveUserAttention(const AppcastItem&)
{
    writeLine(QStringLiteral("didReceiveUserAttention"));
    m_notifications.post(QString::fromLatin1(notifications::kUpdateDismissed));
}

void UpdaterLogger::willFinishUpdateSession()
{
    writeLine(QStringLiteral("willFinishUpdateSession"));
    m_notifications.post(QString::fromLatin1(notifications::kUpdateDismissed));
}

} // namespace palaverly
