#include "updater/Appcast.h"

#include <QUrl>
#include <QXmlStreamReader>
#include <algorithm>

namespace palaverly {

namespace {

constexpr auto kSparkleNamespace = "http://www.andymatuschak.org/xml-namespaces/sparkle";

bool isSparkle(const QXmlStreamReader& reader, QLatin1String name)
{
    return reader.name() == name
        && (reader.namespaceUri() == QLatin1String(kSparkleNamespace) || reader.prefix() == QLatin1String("sparkle"));
}

QString sparkleAttribute(const QXmlStreamAttributes& attributes, QLatin1String name)
{
    for (const QXmlStreamAttribute& attribute : attributes) {
        if (attribute.name() == name
            && (attribute.namespaceUri() == QLatin1String(kSparkleNamespace)
                || attribute.prefix() == QLatin1String("sparkle")))
            return attribute.value().toString().trimmed();
    }
    return {};
}

// Reads one <item>; the reader stands on its start element and ends on its end element.
AppcastItem readItem(QXmlStreamReader& reader)
{
    AppcastItem item;
    QString enclosureVersion;
    QString enclosureShortVersion;
    while (reader.readNextStartElement()) {
        if (reader.name() == QLatin1String("title") && reader.namespaceUri().isEmpty()) {
            item.title = reader.readElementText(QXmlStreamReader::IncludeChildElements).trimmed();
        } else if (reader.name() == QLatin1String("link") && reader.namespaceUri().isEmpty()) {
            item.infoUrl = reader.readElementText(QXmlStreamReader::IncludeChildElements).trimmed();
        } else if (isSparkle(reader, QLatin1String("version"))) {
            item.versionString = reader.readElementText(QXmlStreamReader::IncludeChildElements).trimmed();
        } else if (isSparkle(reader, QLatin1String("shortVersionString"))) {
            item.displayVersionString = reader.readElementText(QXmlStreamReader::IncludeChildElements).trimmed();
        } else if (reader.name() == QLatin1String("enclosure")) {
            const QXmlStreamAttributes attributes = reader.attributes();
            item.enclosureUrl = attributes.value(QLatin1String("url")).toString().trimmed();
            enclosureVersion = sparkleAttribute(attributes, QLatin1String("version"));
            enclosureShortVersion = sparkleAttribute(attributes, QLatin1String("shortVersionString"));
            reader.skipCurrentElement();
        } else {
            reader.skipCurrentElement();
        }
    }
    if (item.versionString.isEmpty())
        item.versionString = enclosureVersion;
    if (item.displayVersionString.isEmpty())
        item.displayVersionString = enclosureShortVersion;
    if (item.displayVersionString.isEmpty())
        item.displayVersionString = item.versionString;
    return item;
}

enum class PartKind { number, text };

struct Part {
    PartKind kind;
    QStringView text;
};

bool isSeparator(QChar c)
{
    return c == u'.' || c == u'-' || c == u'_' || c == u'+' || c.isSpace();
}

std::vector<Part> splitVersion(const QString& version)
{
    std::vector<Part> parts;
    qsizetype index = 0;
    while (index < version.size()) {
        const QChar c = version[index];
        if (isSeparator(c)) {
            ++index;
            continue;
        }
        const bool digit = c.isDigit();
        qsizetype end = index + 1;
        while (end < version.size() && !isSeparator(version[end]) && version[end].isDigit() == digit)
            ++end;
        parts.push_back({digit ? PartKind::number : PartKind::text, QStringView(version).mid(index, end - index)});
        index = end;
    }
    return parts;
}

bool isZero(const Part& part)
{
    if (part.kind != PartKind::number)
        return false;
    for (const QChar c : part.text) {
        if (c != u'0')
            return false;
    }
    return true;
}

// Digit runs of any length, without converting them to a machine integer.
int compareNumbers(QStringView a, QStringView b)
{
    while (a.size() > 1 && a.front() == u'0')
        a = a.mid(1);
    while (b.size() > 1 && b.front() == u'0')
        b = b.mid(1);
    if (a.size() != b.size())
        return a.size() < b.size() ? -1 : 1;
    return a.compare(b);
}

} // namespace

bool isWebAddress(const QString& url)
{
    const QUrl parsed(url, QUrl::StrictMode);
    const QString scheme = parsed.scheme().toLower();
    return parsed.isValid() && (scheme == QLatin1String("http") || scheme == QLatin1String("https"))
        && !parsed.host().isEmpty();
}

QString AppcastItem::downloadPage() const
{
    if (isWebAddress(infoUrl))
        return infoUrl;
    return isWebAddress(enclosureUrl) ? enclosureUrl : QString();
}

std::variant<std::vector<AppcastItem>, AppcastParseError> parseAppcast(const QByteArray& xml)
{
    QXmlStreamReader reader(xml);
    std::vector<AppcastItem> items;
    bool sawChannel = false;
    if (reader.readNextStartElement()) {
        if (reader.name() != QLatin1String("rss")) {
            reader.raiseError(QStringLiteral("корневой элемент <%1> вместо <rss>").arg(reader.name().toString()));
        } else {
            while (reader.readNextStartElement()) {
                if (reader.name() != QLatin1String("channel")) {
                    reader.skipCurrentElement();
                    continue;
                }
                sawChannel = true;
                while (reader.readNextStartElement()) {
                    if (reader.name() == QLatin1String("item")) {
                        AppcastItem item = readItem(reader);
                        if (!item.versionString.isEmpty())
                            items.push_back(std::move(item));
                    } else {
                        reader.skipCurrentElement();
                    }
                }
            }
        }
    }
    // Anything after the root element must still be well formed.
    while (!reader.atEnd() && !reader.hasError())
        reader.readNext();
    if (!reader.hasError() && !sawChannel)
        reader.raiseError(QStringLiteral("в ленте нет элемента <channel>"));
    if (reader.hasError())
        return AppcastParseError{
            static_cast<int>(reader.error()), reader.lineNumber(), reader.columnNumber(), reader.errorString()};
    return items;
}

int compareVersions(const QString& a, const QString& b)
{
    const std::vector<Part> left = splitVersion(a);
    const std::vector<Part> right = splitVersion(b);
    const std::size_t common = std::min(left.size(), right.size());
    for (std::size_t index = 0; index < common; ++index) {
        const Part& x = left[index];
        const Part& y = right[index];
        if (x.kind != y.kind)
            return x.kind == PartKind::number ? 1 : -1;
        const int order = x.kind == PartKind::number ? compareNumbers(x.text, y.text) : x.text.compare(y.text);
        if (order != 0)
            return order < 0 ? -1 : 1;
    }
    // The longer one's remaining parts decide. Zeros say nothing ("1.0" == "1.0.0"); then a number
    // makes it newer ("1.1" < "1.1.1") and text makes it a pre-release of the shorter ("2.0b" < "2.0").
    const bool leftLonger = left.size() > right.size();
    const std::vector<Part>& longer = leftLonger ? left : right;
    std::size_t index = common;
    while (index < longer.size() && isZero(longer[index]))
        ++index;
    if (index == longer.size())
        return 0;
    const bool longerIsNewer = longer[index].kind == PartKind::number;
    return (leftLonger == longerIsNewer) ? 1 : -1;
}

std::optional<AppcastItem> bestUpdate(const std::vector<AppcastItem>& items, const QString& runningVersion)
{
    const AppcastItem* best = nullptr;
    for (const AppcastItem& item : items) {
        if (!best || compareVersions(item.versionString, best->versionString) > 0)
            best = &item;
    }
    if (!best || compareVersions(best->versionString, runningVersion) <= 0)
        return std::nullopt;
    return *best;
}

} // namespace palaverly
