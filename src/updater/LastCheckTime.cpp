#include "updater/LastCheckTime.h"

#include <QSettings>

namespace palaverly {

std::optional<QDateTime> readLastCheckTime(const QSettings& store)
{
    const QVariant value = store.value(QLatin1String(kLastCheckTimeKey));
    QDateTime at;
    if (value.typeId() == QMetaType::QDateTime)
        at = value.toDateTime();
    else if (value.typeId() == QMetaType::QString)
        at = QDateTime::fromString(value.toString(), Qt::ISODate);
    if (!at.isValid())
        return std::nullopt;
    return at;
}

void writeLastCheckTime(QSettings& store, const QDateTime& at)
{
    store.setValue(QLatin1String(kLastCheckTimeKey), at.toUTC());
    store.sync();
}

} // namespace palaverly
