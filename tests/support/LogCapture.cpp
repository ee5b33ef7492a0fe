#include "LogCapture.h"

#include <atomic>

namespace palaverly::test {

namespace {
std::atomic<LogCapture*> g_active{nullptr};
}

LogCapture::LogCapture()
{
    g_active.store(this);
    m_previous = qInstallMessageHandler(&LogCapture::handler);
}

LogCapture::~LogCapture()
{
    qInstallMessageHandler(m_previous);
    g_active.store(nullptr);
}

void LogCapture::handler(QtMsgType type, const QMessageLogContext& context, const QString& message)
{
    LogCapture* self = g_active.load();
    if (!self)
        return;
    {
        std::lock_guard lock(self->m_mutex);
        self->m_lines.push_back({QString::fromLatin1(context.category ? context.category : ""), type, message});
    }
    if (qEnvironmentVariableIsSet("PALAVERLY_TEST_VERBOSE") && self->m_previous)
        self->m_previous(type, context, message);
}

std::vector<LogLine> LogCapture::lines() const
{
    std::lock_guard lock(m_mutex);
    return m_lines;
}

std::vector<QString> LogCapture::messages(const QString& category) const
{
    std::vector<QString> out;
    for (const auto& line : lines())
        if (line.category == category)
            out.push_back(line.message);
    return out;
}

std::vector<QString> LogCapture::errors(const QString& category) const
{
    std::vector<QString> out;
    for (const auto& line : lines())
        if (line.category == category && line.level == QtCriticalMsg)
            out.push_back(line.message);
    return out;
}

bool LogCapture::contains(const QString& category, const QString& message) const
{
    return count(category, message) > 0;
}

int LogCapture::count(const QString& category, const QString& message) const
{
    int n = 0;
    for (const auto& line : lines())
        if (line.category == category && line.message == message)
            ++n;
    return n;
}

void LogCapture::clear()
{
    std::lock_guard lock(m_mutex);
    m_lines.clear();
}

} // namespace palaverly::test
