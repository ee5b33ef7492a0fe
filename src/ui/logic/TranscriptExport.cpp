#include "ui/logic/TranscriptExport.h"

#include "ui/logic/DetailLogic.h"
#include "ui/logic/LibraryLogic.h"

#include <QStringList>
#include <cmath>

namespace palaverly {

namespace {

constexpr qsizetype kMaxFileNameBytes = 255;

QString fromStd(const std::string& text)
{
    return QString::fromStdString(text);
}

// Line breaks inside one turn or cue would end it early in every one of the formats.
QString oneLine(const QString& text)
{
    QString line = text;
    line.replace(QLatin1String("\r\n"), QLatin1String(" "));
    line.replace(QLatin1Char('\n'), QLatin1Char(' '));
    line.replace(QLatin1Char('\r'), QLatin1Char(' '));
    return line.trimmed();
}

// Backslash before every character that Markdown could read as markup.
QString markdownEscaped(const QString& text)
{
    static const QString special = QStringLiteral("\\`*_[]<>#|");
    QString out;
    out.reserve(text.size() + 8);
    for (const QChar c : text) {
        if (special.contains(c))
            out += QLatin1Char('\\');
        out += c;
    }
    return out;
}

QString vttEscaped(const QString& text)
{
    QString out = text;
    out.replace(QLatin1Char('&'), QLatin1String("&amp;"));
    out.replace(QLatin1Char('<'), QLatin1String("&lt;"));
    out.replace(QLatin1Char('>'), QLatin1String("&gt;"));
    return out;
}

long long milliseconds(double seconds)
{
    if (!std::isfinite(seconds) || seconds <= 0)
        return 0;
    return std::llround(std::min(seconds, 1e12) * 1000);
}

// "[05:07]" below an hour, "[1:02:03]" from an hour on.
QString turnTime(double seconds)
{
    const long long t = milliseconds(seconds) / 1000;
    if (t < 3600)
        return QStringLiteral("[%1:%2]").arg(t / 60, 2, 10, QLatin1Char('0')).arg(t % 60, 2, 10, QLatin1Char('0'));
    return QStringLiteral("[%1:%2:%3]")
        .arg(t / 3600)
        .arg((t % 3600) / 60, 2, 10, QLatin1Char('0'))
        .arg(t % 60, 2, 10, QLatin1Char('0'));
}

QString factsLine(const Recording& recording, const QTimeZone& timeZone)
{
    return factsDateText(recording.createdAt, timeZone) + QStringLiteral(" · ") + formatDuration(recording.duration);
}

bool hasSegments(const Transcript& transcript)
{
    return transcript.segments && !transcript.segments->empty();
}

QString markdownDocument(const Recording& recording, const QTimeZone& timeZone)
{
    QStringList blocks;
    blocks << QStringLiteral("# ") + markdownEscaped(oneLine(fromStd(recording.name)));
    blocks << QStringLiteral("%1  \n%2")
                  .arg(QStringLiteral("**Дата:** ") + factsDateText(recording.createdAt, timeZone),
                      QStringLiteral("**Длительность:** ") + formatDuration(recording.duration));
    if (recording.summary && !fromStd(recording.summary->text).trimmed().isEmpty())
        blocks << QStringLiteral("## Итоги") << fromStd(recording.summary->text).trimmed();
    blocks << QStringLiteral("## Расшифровка");
    if (recording.transcript && hasSegments(*recording.transcript)) {
        const Transcript& transcript = *recording.transcript;
        for (const SpeakerGroup& group : buildSpeakerGroups(*transcript.segments)) {
            const QString text = oneLine(turnCopyText(group));
            if (text.isEmpty())
                continue;
            blocks << QStringLiteral("%1 **%2:** %3")
                          .arg(turnTime(group.start), markdownEscaped(fromStd(transcript.displayName(group.speaker))),
                              markdownEscaped(text));
        }
    } else if (recording.transcript) {
        blocks << markdownEscaped(fromStd(recording.transcript->plainText()).trimmed());
    }
    return blocks.join(QStringLiteral("\n\n")) + QLatin1Char('\n');
}

QString plainDocument(const Recording& recording, const QTimeZone& timeZone)
{
    QStringList blocks;
    blocks << oneLine(fromStd(recording.name)) + QLatin1Char('\n') + factsLine(recording, timeZone);
    if (recording.summary && !fromStd(recording.summary->text).trimmed().isEmpty())
        blocks << QStringLiteral("Итоги") << fromStd(recording.summary->text).trimmed();
    blocks << QStringLiteral("Расшифровка");
    if (recording.transcript)
        blocks << fromStd(recording.transcript->plainText());
    return blocks.join(QStringLiteral("\n\n")) + QLatin1Char('\n');
}

struct Cue {
    double start = 0;
    double end = 0;
    QString text;
};

std::vector<Cue> cues(const Recording& recording)
{
    std::vector<Cue> out;
    if (!recording.transcript)
        return out;
    const Transcript& transcript = *recording.transcript;
    if (!hasSegments(transcript)) {
        const QString text = oneLine(fromStd(transcript.text.value_or(std::string())));
        const double length = transcript.durationSec > 0 ? transcript.durationSec : recording.duration;
        if (!text.isEmpty())
            out.push_back({0, length, text});
        return out;
    }
    for (const TranscriptSegment& segment : *transcript.segments) {
        const QString text = oneLine(fromStd(segment.text));
        if (text.isEmpty())
            continue; // an empty cue would end the file for a strict reader
        out.push_back({segment.start, segment.end,
            fromStd(transcript.displayName(segment.speaker)) + QStringLiteral(": ") + text});
    }
    return out;
}

QString cueTimes(const Cue& cue, QChar separator)
{
    // A cue never ends before it starts.
    const double end = milliseconds(cue.end) < milliseconds(cue.start) ? cue.start : cue.end;
    return subtitleTime(cue.start, separator) + QStringLiteral(" --> ") + subtitleTime(end, separator);
}

QString srtDocument(const Recording& recording)
{
    QStringList blocks;
    int number = 0;
    for (const Cue& cue : cues(recording)) {
        QString text = cue.text;
        text.replace(QLatin1String("-->"), QLatin1String("->"));
        blocks << QStringLiteral("%1\n%2\n%3").arg(++number).arg(cueTimes(cue, QLatin1Char(',')), text);
    }
    return blocks.join(QStringLiteral("\n\n")) + QLatin1Char('\n');
}

QString vttDocument(const Recording& recording)
{
    QStringList blocks{QStringLiteral("WEBVTT")};
    for (const Cue& cue : cues(recording))
        blocks << cueTimes(cue, QLatin1Char('.')) + QLatin1Char('\n') + vttEscaped(cue.text);
    return blocks.join(QStringLiteral("\n\n")) + QLatin1Char('\n');
}

bool isReservedDeviceName(const QString& name)
{
    static const QStringList reserved{QStringLiteral("CON"), QStringLiteral("PRN"), QStringLiteral("AUX"),
        QStringLiteral("NUL"), QStringLiteral("COM1"), QStringLiteral("COM2"), QStringLiteral("COM3"),
        QStringLiteral("COM4"), QStringLiteral("COM5"), QStringLiteral("COM6"), QStringLiteral("COM7"),
        QStringLiteral("COM8"), QStringLiteral("COM9"), QStringLiteral("LPT1"), QStringLiteral("LPT2"),
        QStringLiteral("LPT3"), QStringLiteral("LPT4"), QStringLiteral("LPT5"), QStringLiteral("LPT6"),
        QStringLiteral("LPT7"), QStringLiteral("LPT8"), QStringLiteral("LPT9")};
    return reserved.contains(name.section(QLatin1Char('.'), 0, 0).trimmed(), Qt::CaseInsensitive);
}

// Trailing dots and spaces are dropped by Windows, leading dots hide the file here.
QString trimmedForFileName(const QString& name)
{
    qsizetype begin = 0;
    qsizetype end = name.size();
    while (begin < end && (name[begin].isSpace() || name[begin] == QLatin1Char('.')))
        ++begin;
    while (end > begin && (name[end - 1].isSpace() || name[end - 1] == QLatin1Char('.')))
        --end;
    return name.mid(begin, end - begin);
}

} // namespace

const std::vector<ExportFormatInfo>& exportFormats()
{
    static const std::vector<ExportFormatInfo> formats{
        {ExportFormat::markdown, QStringLiteral("Markdown (*.md)"), QStringLiteral("md")},
        {ExportFormat::plainText, QStringLiteral("Текст (*.txt)"), QStringLiteral("txt")},
        {ExportFormat::srt, QStringLiteral("Субтитры SRT (*.srt)"), QStringLiteral("srt")},
        {ExportFormat::webVtt, QStringLiteral("Субтитры WebVTT (*.vtt)"), QStringLiteral("vtt")},
    };
    return formats;
}

const ExportFormatInfo& exportFormatInfo(ExportFormat format)
{
    for (const ExportFormatInfo& info : exportFormats())
        if (info.format == format)
            return info;
    return exportFormats().front();
}

std::optional<ExportFormat> exportFormatForFilter(const QString& filter)
{
    for (const ExportFormatInfo& info : exportFormats())
        if (info.filter == filter)
            return info.format;
    return std::nullopt;
}

bool hasTranscriptText(const Recording& recording)
{
    return recording.transcript && !recording.transcript->plainText().empty();
}

QString exportFileName(const std::string& title, ExportFormat format)
{
    static const QString refused = QStringLiteral("/\\:*?\"<>|");
    QString name;
    for (const QChar c : fromStd(title))
        name += refused.contains(c) || c.unicode() < 0x20 || c.unicode() == 0x7F ? QChar(QLatin1Char('_')) : c;
    name = trimmedForFileName(name);
    if (name.isEmpty())
        name = QStringLiteral("Запись");
    if (isReservedDeviceName(name))
        name += QLatin1Char('_');

    const QString suffix = QLatin1Char('.') + exportFormatInfo(format).extension;
    // Cut whole characters (never half of a surrogate pair) until the UTF-8 name fits.
    while ((name + suffix).toUtf8().size() > kMaxFileNameBytes && !name.isEmpty()) {
        name.chop(name.size() >= 2 && name.back().isLowSurrogate() ? 2 : 1);
        name = trimmedForFileName(name);
    }
    return name + suffix;
}

QString withExportExtension(const QString& path, ExportFormat format)
{
    const QString suffix = QLatin1Char('.') + exportFormatInfo(format).extension;
    return path.endsWith(suffix, Qt::CaseInsensitive) ? path : path + suffix;
}

QString exportDocument(const Recording& recording, ExportFormat format, const QTimeZone& timeZone)
{
    switch (format) {
    case ExportFormat::markdown:
        return markdownDocument(recording, timeZone);
    case ExportFormat::plainText:
        return plainDocument(recording, timeZone);
    case ExportFormat::srt:
        return srtDocument(recording);
    case ExportFormat::webVtt:
        return vttDocument(recording);
    }
    return {};
}

QString subtitleTime(double seconds, QChar fractionSeparator)
{
    const long long ms = milliseconds(seconds);
    const long long s = ms / 1000;
    return QStringLiteral("%1:%2:%3%4%5")
        .arg(s / 3600, 2, 10, QLatin1Char('0'))
        .arg((s % 3600) / 60, 2, 10, QLatin1Char('0'))
        .arg(s % 60, 2, 10, QLatin1Char('0'))
        .arg(fractionSeparator)
        .arg(ms % 1000, 3, 10, QLatin1Char('0'));
}

} // namespace palaverly
