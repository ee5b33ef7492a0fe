#pragma once

#include <QString>

// Texts that come from outside the program (a server's answer, a system error, the update feed)
// as a menu item, a label or a dialog shows them: never read as markup, never more than a line.
namespace palaverly::untrusted {

inline constexpr int kLineCharacters = 80;

// `text` as one line: control characters and line breaks become spaces, the invisible controls
// that reorder text (bidirectional overrides and isolates) go, runs of white space become one
// space, the ends are trimmed. A line of more than `maxCharacters` user-perceived characters is
// cut to that many, the last of them "…".
QString oneLine(const QString& text, int maxCharacters = kLineCharacters);

// The whole text for a widget that reads markup (a tooltip, a message box's informative line):
// its line breaks kept, its other controls neutralised as above, shown as written even when it
// looks like markup, and never a link.
QString asWritten(const QString& text);

// A menu item's text: "&" doubled, so that it shows as itself and marks no shortcut letter.
QString menuText(const QString& text);

} // namespace palaverly::untrusted
