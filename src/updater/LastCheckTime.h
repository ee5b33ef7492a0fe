#pragma once

#include <QDateTime>
#include <optional>

class QSettings;

namespace palaverly {

// When updates were last looked for; written by the updater after each check, shown by the
// settings window. The key keeps its historical name.
inline constexpr char kLastCheckTimeKey[] = "SULastCheckTime";

// Nothing when the key is missing or holds something that is not a date.
std::optional<QDateTime> readLastCheckTime(const QSettings& store);
void writeLastCheckTime(QSettings& store, const QDateTime& at);

} // namespace palaverly
