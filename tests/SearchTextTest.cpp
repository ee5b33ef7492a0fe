#include "ui/logic/SearchText.h"
#include "model/RecordingStore.h"
#include "ui/logic/LibraryLogic.h"

#include "TempLibrary.h"

#include <gtest/gtest.h>
#include <random>

using namespace palaverly;
using namespace std::chrono_literals;

TEST(SearchTextTest, FoldingIsPerCharacterLocaleAwareAndComposed)
{
    SearchFolder ru(russianLocale());
    EXPECT_EQ(ru.fold("ЁЛКА и Ель"), "ёлка и ель");
    EXPECT_EQ(ru.fold("Straße ΟΔΟΣ"), "strasse οδοσ");
    // A combining mark sends the text through the composing path; the result is the same.
    EXPECT_EQ(ru.fold("Е\xCC\x88ЛКА"), "ёлка");
    EXPECT_EQ(ru.fold("ЁЛКА 😀"), "ёлка 😀");
    // Broken UTF-8 does not stop the folding.
    EXPECT_EQ(ru.fold(std::string("А\xFF\xD0Б", 6)),
        "а\xEF\xBF\xBD\xEF\xBF\xBD"
        "б");
    EXPECT_EQ(ru.fold(std::string("Б\xD0", 3)), "б\xEF\xBF\xBD");

    SearchFolder tr(QLocale("tr_TR"));
    EXPECT_EQ(tr.fold("IİI"), "ıiı");
}

// The index with its n-gram filter and texts on disk finds exactly what a plain case-insensitive
// search finds.
TEST(SearchTextTest, TheIndexAgreesWithAPlainSearchOnRandomText)
{
    const std::vector<std::string> words{"Бюджет", "сроки", "релиз", "ёлка", "елка", "Анна", "план", "квартал", "ОК",
        "да", "нет", "Встреча", "итоги", "а", "в"};
    std::mt19937 random(3);
    const auto text = [&](int count) {
        std::string out;
        for (int i = 0; i < count; ++i)
            out += (i ? " " : "") + words[random() % words.size()];
        return out;
    };
    test::TempLibrary library;
    for (int i = 0; i < 60; ++i) {
        const auto meta = test::TempLibrary::meta(text(2), RecordingKind::meeting, i);
        const auto folder = library.addRecording(meta, false);
        if (i % 2) {
            Transcript t;
            t.segments = std::vector<TranscriptSegment>{{"S1", text(5), 0, 1}, {"S2", text(4), 1, 2}};
            if (i % 3 == 0)
                t.speakerLabels = std::map<std::string, std::string>{{"S2", "Борис"}};
            test::TempLibrary::writeFile(folder / "transcript.json", RecordingStore::encode(t.toJson()));
        }
        if (i % 5 == 0)
            test::TempLibrary::writeFile(
                folder / "summary.json", RecordingStore::encode(Summary{"m", meta.createdAt, text(6)}.toJson()));
    }
    RecordingStore store(library.base());
    const std::vector<Recording>& recordings = store.recordings();
    ASSERT_EQ(recordings.size(), 60u);
    const auto plain = [&](const Recording& r, const QString& query) {
        const auto has
            = [&](const std::string& s) { return QString::fromStdString(s).contains(query, Qt::CaseInsensitive); };
        return has(r.name) || (r.transcript && has(store.transcript(r)->plainText()))
            || (r.summary && has(r.summary->text));
    };
    SearchIndex index(library.base().parent_path() / "search.sqlite");
    ASSERT_TRUE(index.warmUp(recordings, russianLocale(), 30s));
    int nonEmpty = 0;
    for (int q = 0; q < 300; ++q) {
        // Pieces of real texts (across ": " and blank lines too) and random words.
        const Recording& source = recordings[random() % recordings.size()];
        QString from = QString::fromStdString(source.transcript ? store.transcript(source)->plainText() : source.name);
        const qsizetype start = static_cast<qsizetype>(random() % static_cast<unsigned>(from.size()));
        QString query = from.mid(start, 1 + static_cast<qsizetype>(random() % 9));
        if (q % 3 == 0)
            query = QString::fromStdString(words[random() % words.size()]).toUpper();
        if (query.trimmed().isEmpty())
            continue;
        std::vector<const Recording*> expected;
        for (const Recording& r : recordings)
            if (plain(r, query.trimmed()))
                expected.push_back(&r);
        nonEmpty += !expected.empty();
        ASSERT_EQ(filteredRecordings(recordings, query, russianLocale(), index), expected) << query.toStdString();
    }
    EXPECT_GT(nonEmpty, 200);
}
