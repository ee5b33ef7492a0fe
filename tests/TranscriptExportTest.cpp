#include "ui/logic/TranscriptExport.h"

#include <QDateTime>
#include <QRegularExpression>
#include <gtest/gtest.h>

using namespace palaverly;

namespace {

struct Cue {
    long long startMs = 0;
    long long endMs = 0;
    std::string text;
    bool operator==(const Cue&) const = default;
};

std::ostream& operator<<(std::ostream& out, const Cue& cue)
{
    return out << cue.startMs << "-" << cue.endMs << " " << cue.text;
}

long long timeMs(const QRegularExpressionMatch& match, int first)
{
    return ((match.captured(first).toLongLong() * 60 + match.captured(first + 1).toLongLong()) * 60
               + match.captured(first + 2).toLongLong())
        * 1000
        + match.captured(first + 3).toLongLong();
}

// Reads SRT (separator ',', numbered cues) or WebVTT ('.', after the "WEBVTT" header) as strictly
// as the formats allow: LF line ends, exactly one blank line between cues, numbers counting
// from 1, two-digit hours, a cue that never ends before it starts, one line of non-empty text,
// and a final line break. Any deviation fails the test and yields what was read so far.
std::vector<Cue> parseSubtitles(const QString& document, bool vtt)
{
    std::vector<Cue> cues;
    EXPECT_TRUE(document.endsWith(QLatin1Char('\n')) && !document.endsWith(QLatin1String("\n\n")));
    QStringList blocks = document.chopped(1).split(QStringLiteral("\n\n"));
    if (vtt) {
        EXPECT_EQ(blocks.value(0), QStringLiteral("WEBVTT"));
        blocks.removeFirst();
    }
    const QRegularExpression timing(vtt
            ? QStringLiteral(R"(^(\d\d):(\d\d):(\d\d)\.(\d{3}) --> (\d\d):(\d\d):(\d\d)\.(\d{3})$)")
            : QStringLiteral(R"(^(\d\d):(\d\d):(\d\d),(\d{3}) --> (\d\d):(\d\d):(\d\d),(\d{3})$)"));
    for (const QString& block : blocks) {
        QStringList lines = block.split(QLatin1Char('\n'));
        if (!vtt) {
            EXPECT_EQ(lines.value(0), QString::number(cues.size() + 1)) << block.toStdString();
            lines.removeFirst();
        }
        const auto match = timing.match(lines.value(0));
        EXPECT_TRUE(match.hasMatch()) << block.toStdString();
        EXPECT_EQ(lines.size(), 2) << block.toStdString();
        if (!match.hasMatch() || lines.size() != 2)
            return cues;
        Cue cue{timeMs(match, 1), timeMs(match, 5), lines[1].toStdString()};
        EXPECT_LE(cue.startMs, cue.endMs);
        EXPECT_FALSE(lines[1].trimmed().isEmpty());
        if (vtt) {
            // Cue text may hold no raw '<' or '&' and no "-->".
            EXPECT_FALSE(lines[1].contains(QLatin1Char('<')) || lines[1].contains(QLatin1String("-->")));
            cue.text = QString(lines[1])
                           .replace(QLatin1String("&lt;"), QLatin1String("<"))
                           .replace(QLatin1String("&gt;"), QLatin1String(">"))
                           .replace(QLatin1String("&amp;"), QLatin1String("&"))
                           .toStdString();
        }
        cues.push_back(cue);
    }
    return cues;
}

Timestamp at(int year, int month, int day, int hour, int minute)
{
    return Timestamp(std::chrono::seconds(
        QDateTime(QDate(year, month, day), QTime(hour, minute), QTimeZone::utc()).toSecsSinceEpoch()));
}

// A meeting past one hour: a named and an unnamed speaker, markup in names and words, a turn
// with no words, and a summary.
Recording meeting()
{
    Transcript transcript;
    transcript.segments = std::vector<TranscriptSegment>{{"SPEAKER_00", "Начнём.", 0.5, 2.25},
        {"SPEAKER_00", "Повестка — «бюджет».", 2.25, 4}, {"SPEAKER_01", "Да & <нет>", 4, 5.5},
        {"SPEAKER_01", "  ", 5.5, 6}, {"SPEAKER_00", "Итак --> дальше", 3723.456, 3725}};
    transcript.numSpeakers = 2;
    transcript.durationSec = 3725;
    transcript.speakerLabels = std::map<std::string, std::string>{{"SPEAKER_00", "Анна *Ли*"}};
    Recording recording;
    recording.name = "Планёрка: итоги/план";
    recording.createdAt = at(2026, 3, 5, 9, 41);
    recording.duration = 3730.2;
    recording.transcript = transcript;
    recording.summary = Summary{"qwen-summary", {}, "- Решили: бюджет\n- Задача: Анна\n"};
    return recording;
}

const QTimeZone kMoscow(3 * 3600);

} // namespace

TEST(TranscriptExportTest, DocumentsCarryTheFactsTheSummaryAndTheNamedTurns)
{
    Recording recording = meeting();
    EXPECT_EQ(exportDocument(recording, ExportFormat::markdown, kMoscow).toStdString(),
        "# Планёрка: итоги/план\n\n"
        "**Дата:** 5 марта 2026, 12:41  \n**Длительность:** 1:02:10\n\n"
        "## Итоги\n\n- Решили: бюджет\n- Задача: Анна\n\n"
        "## Расшифровка\n\n"
        "[00:00] **Анна \\*Ли\\*:** Начнём. Повестка — «бюджет».\n\n"
        "[00:04] **SPEAKER\\_01:** Да & \\<нет\\>\n\n"
        "[1:02:03] **Анна \\*Ли\\*:** Итак --\\> дальше\n");
    EXPECT_EQ(exportDocument(recording, ExportFormat::plainText, kMoscow).toStdString(),
        "Планёрка: итоги/план\n5 марта 2026, 12:41 · 1:02:10\n\n"
        "Итоги\n\n- Решили: бюджет\n- Задача: Анна\n\n"
        "Расшифровка\n\n"
            + recording.transcript->plainText() + "\n");

    // Without a summary and without turns (a note): no summary section, the text as it came.
    recording.summary.reset();
    recording.transcript->segments.reset();
    recording.transcript->text = "Купить *молоко*\nи хлеб";
    EXPECT_EQ(exportDocument(recording, ExportFormat::markdown, kMoscow).toStdString(),
        "# Планёрка: итоги/план\n\n"
        "**Дата:** 5 марта 2026, 12:41  \n**Длительность:** 1:02:10\n\n"
        "## Расшифровка\n\nКупить \\*молоко\\*\nи хлеб\n");
    EXPECT_EQ(exportDocument(recording, ExportFormat::plainText, kMoscow).toStdString(),
        "Планёрка: итоги/план\n5 марта 2026, 12:41 · 1:02:10\n\nРасшифровка\n\nКупить *молоко*\nи хлеб\n");
}

TEST(TranscriptExportTest, SubtitlesHaveOneCuePerSpokenSegmentInBothFormats)
{
    EXPECT_EQ(subtitleTime(3723.456, QLatin1Char(',')), "01:02:03,456");
    EXPECT_EQ(subtitleTime(std::nan(""), QLatin1Char(',')), "00:00:00,000"); // a damaged file

    Recording recording = meeting();
    const std::vector<Cue> expected{{500, 2250, "Анна *Ли*: Начнём."}, {2250, 4000, "Анна *Ли*: Повестка — «бюджет»."},
        {4000, 5500, "SPEAKER_01: Да & <нет>"}, {3723456, 3725000, "Анна *Ли*: Итак --> дальше"}};
    std::vector<Cue> srtExpected = expected;
    srtExpected.back().text = "Анна *Ли*: Итак -> дальше"; // an SRT reader takes "-->" for a timing line
    EXPECT_EQ(parseSubtitles(exportDocument(recording, ExportFormat::srt, kMoscow), false), srtExpected);
    EXPECT_EQ(parseSubtitles(exportDocument(recording, ExportFormat::webVtt, kMoscow), true), expected);

    // A segment ending before it starts is held at its start; a note without turns is one cue.
    (*recording.transcript->segments)[0].end = 0.1;
    EXPECT_EQ(parseSubtitles(exportDocument(recording, ExportFormat::srt, kMoscow), false).at(0),
        (Cue{500, 500, "Анна *Ли*: Начнём."}));
    recording.transcript->segments.reset();
    recording.transcript->text = "Купить молоко\nи хлеб";
    recording.transcript->durationSec = 4.5;
    EXPECT_EQ(parseSubtitles(exportDocument(recording, ExportFormat::webVtt, kMoscow), true),
        (std::vector<Cue>{{0, 4500, "Купить молоко и хлеб"}}));
}

TEST(TranscriptExportTest, FileNamesKeepTheTitleWithinWhatFileSystemsAccept)
{
    EXPECT_EQ(exportFileName("Встреча — 5 мар., 09:41", ExportFormat::markdown), "Встреча — 5 мар., 09_41.md");
    EXPECT_EQ(exportFileName("a/b\\c*d?e\"f<g>h|i\tj", ExportFormat::plainText), "a_b_c_d_e_f_g_h_i_j.txt");
    EXPECT_EQ(exportFileName(" ..скрытый. ", ExportFormat::srt), "скрытый.srt");
    EXPECT_EQ(exportFileName("  ", ExportFormat::webVtt), "Запись.vtt");
    EXPECT_EQ(exportFileName("con", ExportFormat::markdown), "con_.md");

    // 255 bytes at most, cut between whole characters.
    std::string title;
    for (int i = 0; i < 100; ++i)
        title += "ж😀";
    const QString name = exportFileName(title, ExportFormat::webVtt);
    EXPECT_LE(name.toUtf8().size(), 255);
    EXPECT_GT(name.toUtf8().size(), 240);
    EXPECT_TRUE(name.endsWith(".vtt"));
    EXPECT_EQ(QString::fromUtf8(name.toUtf8()), name); // no half of a surrogate pair

    EXPECT_EQ(withExportExtension("/tmp/x", ExportFormat::srt), "/tmp/x.srt");
    EXPECT_EQ(withExportExtension("/tmp/x.SRT", ExportFormat::srt), "/tmp/x.SRT");
    EXPECT_EQ(withExportExtension("/tmp/x.txt", ExportFormat::markdown), "/tmp/x.txt.md");
    EXPECT_EQ(exportFormatForFilter("Субтитры WebVTT (*.vtt)"), ExportFormat::webVtt);
}
