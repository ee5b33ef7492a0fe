#include "common/Text.h"

#include <QString>

namespace palaverly {

std::string trimmedWhitespace(std::string_view text)
{
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())).trimmed().toStdString();
}

} // namespace palaverly
