#pragma once

#include <QString>
#include <QtGlobal>
#include <mutex>
#include <vector>

namespace palaverly::test {

struct LogLine {
    QString category;
    QtMsgType level = QtInfoMsg;
    QString message;
};

// Records every message logged while it exists (from any thread). Messages are also passed on
// to the previous handler so that a failing test still shows the log.
class LogCapture {
public:
    LogCapture();
    ~LogCapture();
    LogCapture(const LogCapture&) = delete;
    LogCapture& operator=(const LogCapture&) = delete;

    std::vector<LogLine> lines() const;
    // Messages of one category, in order.
    std::vector<QString> messages(const QString& category) const;
    // Messages of one category at error level.
    std::vector<QString> errors(const QString& category) const;
    bool contains(const QString& category, const QString& message) const;
    int count(const QString& category, const QString& message) const;
    void clear();

private:
    static void handler(QtMsgType type, const QMessageLogContext& context, const QString& message);

    mutable std::mutex m_mutex;
    std::vector<LogLine> m_lines;
    QtMessageHandler m_previous = nullptr;
};

} // namespace palaverly::test
