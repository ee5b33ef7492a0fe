#include "common/Log.h"

#include <QDateTime>
#include <cstdio>
#include <filesystem>

#ifdef PALAVERLY_HAVE_JOURNALD
#include <syslog.h>
#include <systemd/sd-journal.h>
#endif

namespace palaverly::log {

void info(const QLoggingCategory& category, const QString& message)
{
    qCInfo(category).noquote() << message;
}

void error(const QLoggingCategory& category, const QString& message)
{
    qCCritical(category).noquote() << message;
}

namespace {

const char* levelName(QtMsgType type)
{
    switch (type) {
    case QtDebugMsg:
        return "debug";
    case QtInfoMsg:
        return "info";
    case QtWarningMsg:
        return "warning";
    case QtCriticalMsg:
        return "error";
    case QtFatalMsg:
        return "fault";
    }
    return "info";
}

void writeStderr(QtMsgType type, const QMessageLogContext& context, const QString& message)
{
    const QByteArray line
        = QStringLiteral("%1 %2 [%3] %4\n")
              .arg(QDateTime::currentDateTime().toString(Qt::ISODateWithMs), QString::fromLatin1(levelName(type)),
                  QString::fromLatin1(context.category ? context.category : "default"), message)
              .toUtf8();
    std::fwrite(line.constData(), 1, static_cast<size_t>(line.size()), stderr);
}

#ifdef PALAVERLY_HAVE_JOURNALD
int journalPriority(QtMsgType type)
{
    switch (type) {
    case QtDebugMsg:
        return LOG_DEBUG;
    case QtInfoMsg:
        return LOG_INFO;
    case QtWarningMsg:
        return LOG_WARNING;
    case QtCriticalMsg:
        return LOG_ERR;
    case QtFatalMsg:
        return LOG_CRIT;
    }
    return LOG_INFO;
}

void writeJournal(QtMsgType type, const QMessageLogContext& context, const QString& message)
{
    const QByteArray text = message.toUtf8();
    sd_journal_send("MESSAGE=%s", text.constData(), "PRIORITY=%d", journalPriority(type), "SYSLOG_IDENTIFIER=palaverly",
        "PALAVERLY_SUBSYSTEM=%s", kSubsystem, "PALAVERLY_CATEGORY=%s", context.category ? context.category : "default",
        nullptr);
}
#endif

} // namespace

void installHandler()
{
#ifdef PALAVERLY_HAVE_JOURNALD
    std::error_code ec;
    if (std::filesystem::exists("/run/systemd/journal/socket", ec)) {
        qInstallMessageHandler(writeJournal);
        return;
    }
#endif
    qInstallMessageHandler(writeStderr);
}

} // namespace palaverly::log
