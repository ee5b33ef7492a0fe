#include "common/PlaceholderAddress.h"

#include <QString>
#include <QUrl>

namespace palaverly {

bool isPlaceholderAddress(std::string_view url)
{
    const QUrl parsed(QString::fromUtf8(url.data(), static_cast<qsizetype>(url.size())).trimmed());
    const QString host = parsed.host().toLower();
    return host.isEmpty() || host == QLatin1String("invalid") || host.endsWith(QLatin1String(".invalid"));
}

} // namespace palaverly
