#pragma once

#include <QString>
#include <optional>
#include <variant>
#include <vector>

namespace palaverly {

// One release announced by the update feed (an RSS <item> with the sparkle: extensions).
struct AppcastItem {
    QString title;
    // The build number of the release ("sparkle:version"); what versions are compared by.
    QString versionString;
    // The version shown to people ("sparkle:shortVersionString"); the build number when absent.
    QString displayVersionString;
    // The release's page (<link>) and its package (<enclosure url>); either may be empty.
    QString infoUrl;
    QString enclosureUrl;

    // Where the user goes to get the release: its page, else its package. Only a web address
    // counts, so that a feed cannot have the desktop open anything else; empty when neither is.
    QString downloadPage() const;
};

// Whether `url` is an absolute http or https address with a host.
bool isWebAddress(const QString& url);

struct AppcastParseError {
    int code = 0; // QXmlStreamReader::Error
    qint64 line = 0;
    qint64 column = 0;
    QString message;
};

// Reads an RSS 2.0 update feed. The version of an item comes from a <sparkle:version> element or
// the enclosure's sparkle:version attribute (the same for the short version); items without a
// version are left out. Malformed XML, or a document that is not an RSS channel, is an error.
std::variant<std::vector<AppcastItem>, AppcastParseError> parseAppcast(const QByteArray& xml);

// Orders two version strings the way people number releases: digit runs compare as numbers,
// letter runs as text and rank below numbers ("2.0b1" < "2.0"), separators ('.', '-', '_', '+',
// spaces) only split. Trailing zero components do not count ("1.0" == "1.0.0").
// Negative, zero or positive as in strcmp.
int compareVersions(const QString& a, const QString& b);

// The item with the highest version, when it is newer than `runningVersion`.
std::optional<AppcastItem> bestUpdate(const std::vector<AppcastItem>& items, const QString& runningVersion);

} // namespace palaverly
