#include "ui/logic/UntrustedText.h"

#include <QTextBoundaryFinder>

namespace palaverly::untrusted {

namespace {

// Invisible marks that change the order in which the characters around them are shown.
bool isReorderingControl(char16_t c)
{
    return c == 0x061C || c == 0x200E || c == 0x200F || (c >= 0x202A && c <= 0x202E) || (c >= 0x2066 && c <= 0x2069);
}

bool isBreak(QChar c)
{
    const auto category = c.category();
    return c.isSpace() || category == QChar::Other_Control || category == QChar::Separator_Line
        || category == QChar::Separator_Paragraph;
}

// Control characters become spaces and reordering controls go; line breaks are kept when asked.
QString neutralised(const QString& text, bool keepLineBreaks)
{
    QString out;
    out.reserve(text.size());
    for (const QChar c : text) {
        if (isReorderingControl(c.unicode()))
            continue;
        if (keepLineBreaks && c == QLatin1Char('\n'))
            out += c;
        else if (isBreak(c))
            out += QLatin1Char(' ');
        else
            out += c;
    }
    return out;
}

} // namespace

QString oneLine(const QString& text, int maxCharacters)
{
    const QString line = neutralised(text, false).simplified();
    QTextBoundaryFinder finder(QTextBoundaryFinder::Grapheme, line);
    qsizetype cut = 0;
    for (int seen = 0; seen < maxCharacters; ++seen) {
        const qsizetype next = finder.toNextBoundary();
        if (next < 0 || next >= line.size())
            return line;
        if (seen < maxCharacters - 1)
            cut = next;
    }
    return line.left(cut).trimmed() + QChar(0x2026);
}

QString asWritten(const QString& text)
{
    // Rich text of our own making, so that the widget never takes the text for markup.
    QString escaped = neutralised(text, true).trimmed().toHtmlEscaped();
    escaped.replace(QLatin1Char('\n'), QStringLiteral("<br>"));
    return QStringLiteral("<qt>") + escaped + QStringLiteral("</qt>");
}

QString menuText(const QString& text)
{
    QString out = text;
    return out.replace(QLatin1Char('&'), QStringLiteral("&&"));
}

} // namespace palaverly::untrusted
