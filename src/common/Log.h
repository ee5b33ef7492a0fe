#pragma once

#include <QLoggingCategory>
#include <QString>

// Every class that logs owns one category named after the class, e.g.
//   Q_LOGGING_CATEGORY(lcRecordingStore, "RecordingStore")
// All categories belong to the subsystem below; the journald writer records it with each line.
namespace palaverly::log {

inline constexpr const char* kSubsystem = "org.quorvane.palaverly";

// Any thread.
void info(const QLoggingCategory& category, const QString& message);
void error(const QLoggingCategory& category, const QString& message);

// Sends every Qt log message to the systemd journal when one is reachable, else to stderr.
// Call once, early in main().
void installHandler();

} // namespace palaverly::log
