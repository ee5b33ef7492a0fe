#include "updater/Updater.h"

#include "common/BackgroundJob.h"
#include "common/BuildConfig.h"
#include "common/PlaceholderAddress.h"
#include "system/AppSettings.h"
#include "updater/LastCheckTime.h"
#include "updater/UpdateUserDriver.h"
#include "updater/UpdaterLogger.h"

#include <QPointer>
#include <QSettings>
#include <algorithm>

namespace palaverly {

namespace {

constexpr char kErrorDomain[] = "org.quorvane.palaverly.updater";
constexpr qint64 kAppcastParseError = 1000;
constexpr qint64 kAppcastFetchError = 1002;

std::shared_ptr<const UpdateError> transferError(const AppcastFetch& fetch)
{
    auto error = std::make_shared<UpdateError>();
    switch (fetch.outcome) {
    case AppcastFetch::Outcome::transport:
        error->domain = QStringLiteral("libcurl");
        error->code = fetch.curlCode;
        error->message = QString::fromStdString(fetch.text);
        break;
    case AppcastFetch::Outcome::http:
        error->domain = QStringLiteral("HTTP");
        error->code = fetch.status;
        error->message = QStringLiteral("Сервер ответил кодом %1").arg(fetch.status);
        break;
    case AppcastFetch::Outcome::tooLarge:
        error->domain = QString::fromLatin1(kErrorDomain);
        error->code = kAppcastFetchError;
        error->message = QStringLiteral("Лента обновлений больше %1 МБ").arg(AppcastFetch::kMaxBytes / (1024 * 1024));
        break;
    case AppcastFetch::Outcome::ok:
    case AppcastFetch::Outcome::cancelled:
        return nullptr;
    }
    return error;
}

UpdateError feedError(
    qint64 code, const QString& message, const QString& feedUrl, std::shared_ptr<const UpdateError> underlying)
{
    return UpdateError{QString::fromLatin1(kErrorDomain), code, message, {{QStringLiteral("feedURL"), feedUrl}},
        std::move(underlying)};
}

// The window's text: the failure and, in words for people, what lies under it (the library
// messages underneath are for the log).
QString alertText(const UpdateError& error)
{
    QString text = error.message;
    if (!error.underlying)
        return text;
    if (error.underlying->domain == QLatin1String("HTTP"))
        text += u' ' + error.underlying->message + u'.';
    else if (error.underlying->domain == QLatin1String("libcurl"))
        text += QStringLiteral(" Нет связи с сервером обновлений.");
    else if (error.code == kAppcastParseError)
        text += QStringLiteral(" Лента обновлений повреждена.");
    return text;
}

} // namespace

Updater::Options Updater::defaultOptions()
{
    Options options;
    options.runningVersion = QString::fromUtf8(build::kBuildNumber);
    return options;
}

Updater::Updater(QSettings& store, AppSettings& settings, UpdaterLogger& logger, UpdateUserDriver& driver,
    Options options, QObject* parent)
    : QObject(parent)
    , m_store(store)
    , m_settings(settings)
    , m_logger(logger)
    , m_driver(driver)
    , m_options(std::move(options))
{
    if (!m_options.fetch) {
        const std::string userAgent = std::string("Palaverly/") + build::kVersion;
        m_options.fetch = [userAgent](const std::string& url, std::stop_token stop) {
            return AppcastFetch::get(url, userAgent, std::move(stop));
        };
    }
    m_timer.setSingleShot(true);
    connect(&m_timer, &QTimer::timeout, this, &Updater::checkInBackground);
    connect(&m_settings, &AppSettings::autoCheckUpdatesChanged, this, [this](bool on) {
        if (!on)
            m_timer.stop();
        else if (!m_job && !m_windowOpen && !m_timer.isActive())
            scheduleNext();
    });
}

Updater::~Updater()
{
    // Cancels a running download and waits for its thread; its report is then never delivered.
    m_job.reset();
}

QDateTime Updater::now() const
{
    return m_options.now ? m_options.now() : QDateTime::currentDateTimeUtc();
}

std::chrono::seconds Updater::nextCheckDelay() const
{
    const std::chrono::seconds interval = m_options.checkInterval;
    const std::optional<QDateTime> last = readLastCheckTime(m_store);
    if (!last)
        return std::chrono::seconds(0);
    // A last check in the future (the clock was turned back) counts as one just now.
    const std::chrono::seconds elapsed(std::max<qint64>(0, last->secsTo(now())));
    return std::clamp(interval - elapsed, std::chrono::seconds(0), interval);
}

bool Updater::hasFeed() const
{
    return !isPlaceholderAddress(m_logger.feedUrl().toStdString());
}

void Updater::start()
{
    if (!hasFeed())
        return;
    m_started = true;
    scheduleNext();
}

void Updater::scheduleNext()
{
    if (!m_started || !m_settings.autoCheckUpdates()) {
        m_timer.stop();
        return;
    }
    const std::chrono::seconds delay = nextCheckDelay();
    m_logger.willScheduleUpdateCheckAfterDelay(static_cast<double>(delay.count()));
    m_timer.start(std::chrono::duration_cast<std::chrono::milliseconds>(delay));
}

void Updater::checkForUpdates()
{
    if (!hasFeed())
        return;
    if (m_job) {
        // The running check will answer the user.
        m_userInitiated = true;
        return;
    }
    startCheck(true);
}

void Updater::checkInBackground()
{
    if (!hasFeed() || m_job || m_windowOpen)
        return;
    if (m_pending) {
        const AppcastItem waiting = *m_pending;
        present(waiting, false);
        emit checkFinished();
        return;
    }
    startCheck(false);
}

void Updater::startCheck(bool userInitiated)
{
    if (m_job || m_windowOpen)
        return;
    m_timer.stop();
    m_userInitiated = userInitiated;
    const QString feedUrl = m_logger.feedURLString();
    m_job = std::make_unique<BackgroundJob>(
        [this, fetch = m_options.fetch, feedUrl, url = feedUrl.toStdString()](std::stop_token stop) {
            AppcastFetch result = fetch(url, stop);
            if (stop.stop_requested())
                return;
            postTo(this,
                [this, feedUrl, result = std::move(result)]() mutable { finishCheck(feedUrl, std::move(result)); });
        });
}

void Updater::finishCheck(const QString& feedUrl, AppcastFetch fetch)
{
    m_job.reset();
    const bool userInitiated = m_userInitiated;
    m_userInitiated = false;
    writeLastCheckTime(m_store, now());

    if (fetch.outcome != AppcastFetch::Outcome::ok) {
        abort(userInitiated,
            feedError(kAppcastFetchError, QStringLiteral("Не удалось загрузить ленту обновлений."), feedUrl,
                transferError(fetch)));
        return;
    }
    auto parsed = parseAppcast(QByteArray::fromStdString(fetch.body));
    if (const auto* failure = std::get_if<AppcastParseError>(&parsed)) {
        auto underlying = std::make_shared<UpdateError>(UpdateError{QStringLiteral("QXmlStreamReader"), failure->code,
            QStringLiteral("строка %1, столбец %2: %3").arg(failure->line).arg(failure->column).arg(failure->message),
            {}, nullptr});
        abort(userInitiated,
            feedError(kAppcastParseError, QStringLiteral("Не удалось разобрать ленту обновлений."), feedUrl,
                std::move(underlying)));
        return;
    }
    const auto& items = std::get<std::vector<AppcastItem>>(parsed);
    m_logger.didFinishLoadingAppcast(items);
    const std::optional<AppcastItem> update = bestUpdate(items, m_options.runningVersion);
    if (!update) {
        m_logger.didNotFindUpdate();
        if (userInitiated) {
            showAlert(false, {});
        } else {
            endSession();
            scheduleNext();
        }
        emit checkFinished();
        return;
    }
    m_logger.didFindValidUpdate(*update);
    present(*update, userInitiated);
    emit checkFinished();
}

void Updater::abort(bool userInitiated, const UpdateError& error)
{
    m_logger.didAbortWithError(error);
    if (userInitiated) {
        showAlert(true, alertText(error));
    } else {
        endSession();
        scheduleNext();
    }
    emit checkFinished();
}

void Updater::present(const AppcastItem& item, bool userInitiated)
{
    bool handle = true;
    if (!userInitiated)
        handle = m_logger.shouldHandleShowingScheduledUpdate(item, m_driver.isInImmediateFocus());
    m_logger.willHandleShowingUpdate(handle, item, userInitiated);
    if (!handle) {
        // A gentle reminder: the menu shows the update until the user looks at it.
        m_pending = item;
        scheduleNext();
        return;
    }
    if (m_pending) {
        m_logger.didReceiveUserAttention(item);
        m_pending.reset();
    }
    showUpdate(item);
}

void Updater::showUpdate(const AppcastItem& item)
{
    m_windowOpen = true;
    m_driver.showUpdateFound(item, [self = QPointer<Updater>(this), item](UpdateUserDriver::Choice choice) {
        if (!self)
            return;
        self->m_windowOpen = false;
        if (choice == UpdateUserDriver::Choice::openDownloadPage) {
            const QString page = item.downloadPage();
            self->m_logger.willDownloadUpdate(item, page.isEmpty() ? std::nullopt : std::optional<QString>(page));
            if (!page.isEmpty())
                self->m_driver.openUrl(page);
        }
        self->endSession();
        self->scheduleNext();
    });
}

void Updater::showAlert(bool failed, const QString& message)
{
    m_windowOpen = true;
    m_logger.willShowModalAlert();
    auto acknowledged = [self = QPointer<Updater>(this)] {
        if (!self)
            return;
        self->m_windowOpen = false;
        self->m_logger.didShowModalAlert();
        self->endSession();
        self->scheduleNext();
    };
    if (failed)
        m_driver.showCheckFailed(message, acknowledged);
    else
        m_driver.showUpToDate(acknowledged);
}

void Updater::endSession()
{
    m_pending.reset();
    m_logger.willFinishUpdateSession();
}

} // namespace palaverly
