#include "ui/logic/SearchIndex.h"
#include "common/Sqlite.h"
#include "model/RecordingStore.h"
#include "ui/logic/LibraryLogic.h"

#include "LogCapture.h"
#include "TempLibrary.h"

#include <fstream>
#include <gtest/gtest.h>
#include <random>

using namespace palaverly;
using namespace std::chrono_literals;

TEST(SearchIndexTest, FoldingIsPerCharacterLocaleAwareAndComposed)
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

// The index finds exactly what a plain case-insensitive search finds: with its n-gram filters and
// texts on disk, while its worker is still reading (the search reads what it has not), and when its
// file cannot be written (texts are read again from the recordings). Queries are typed one
// character at a time, so that narrowing from the previous query is checked too.
TEST(SearchIndexTest, TheIndexAgreesWithAPlainSearchOnRandomText)
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
            // Some transcripts run past what the index keeps in memory.
            t.segments
                = std::vector<TranscriptSegment>{{"S1", text(i % 7 == 1 ? 900 : 5), 0, 1}, {"S2", text(4), 1, 2}};
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
    std::vector<QString> queries;
    for (int q = 0; q < 120; ++q) {
        // Pieces of real texts (across ": " and blank lines too) and random words.
        const Recording& source = recordings[random() % recordings.size()];
        QString from = QString::fromStdString(source.transcript ? store.transcript(source)->plainText() : source.name);
        const qsizetype start = static_cast<qsizetype>(random() % static_cast<unsigned>(from.size()));
        QString query = from.mid(start, 1 + static_cast<qsizetype>(random() % 9));
        if (q % 3 == 0)
            query = QString::fromStdString(words[random() % words.size()]).toUpper() + (q % 2 ? "ы" : "");
        queries.push_back(query);
    }
    const auto crossCheck = [&](SearchIndex& index) {
        int nonEmpty = 0;
        for (const QString& query : queries)
            for (qsizetype typed = 1; typed <= query.size(); ++typed) {
                const QString part = query.left(typed);
                if (part.trimmed().isEmpty())
                    continue;
                std::vector<const Recording*> expected;
                for (const Recording& r : recordings)
                    if (plain(r, part.trimmed()))
                        expected.push_back(&r);
                nonEmpty += !expected.empty();
                EXPECT_EQ(filteredRecordings(recordings, part, russianLocale(), index), expected) << part.toStdString();
            }
        return nonEmpty;
    };

    const std::filesystem::path file = library.base().parent_path() / "search.sqlite";
    SearchIndex building(file);
    EXPECT_GT(crossCheck(building), 300);
    SearchIndex built(file);
    ASSERT_TRUE(built.warmUp(recordings, russianLocale(), 30s));
    crossCheck(built);

    // The file deleted while an index uses it, and found missing by the next one, which fills it
    // again in the background.
    for (const char* suffix : {"", "-wal", "-shm"})
        std::filesystem::remove(file.string() + suffix);
    crossCheck(built);
    SearchIndex rebuilt(file);
    rebuilt.prepare(recordings, russianLocale());
    EXPECT_EQ(rebuilt.progress().indexed, 0u);
    EXPECT_EQ(rebuilt.progress().total, recordings.size());
    ASSERT_TRUE(rebuilt.warmUp(recordings, russianLocale(), 30s));
    EXPECT_TRUE(std::filesystem::exists(file));
    crossCheck(rebuilt);

    // A file whose header reads but whose first page is broken (found by fuzzing): started afresh,
    // not given up on.
    test::LogCapture logs;
    for (const char* suffix : {"", "-wal", "-shm"})
        std::filesystem::remove(file.string() + suffix);
    {
        SqliteDatabase older;
        ASSERT_TRUE(older.open(file) && older.exec("PRAGMA user_version = 1"));
    }
    {
        std::fstream bytes(file, std::ios::in | std::ios::out | std::ios::binary);
        bytes.seekp(101);
        bytes.put('\x0f').put('\0'); // the page's first free block, pointing into nothing
    }
    SearchIndex damaged(file);
    ASSERT_TRUE(damaged.warmUp(recordings, russianLocale(), 30s));
    EXPECT_TRUE(logs.errors("SearchIndex").empty());
    crossCheck(damaged);
    SqliteDatabase repaired;
    ASSERT_TRUE(repaired.open(file));
    SqliteStatement rows(repaired, "SELECT count(*) FROM entries");
    ASSERT_TRUE(rows.step());
    EXPECT_EQ(rows.integer(0), static_cast<std::int64_t>(recordings.size()));

    // A regular file where the cache folder should be.
    const auto blocked = library.base() / "meetings" / recordings[0].id.toString() / "meta.json" / "search.sqlite";
    SearchIndex unwritable(blocked);
    ASSERT_TRUE(unwritable.warmUp(recordings, russianLocale(), 30s));
    crossCheck(unwritable);
    EXPECT_EQ(logs.errors("SearchIndex"),
        std::vector<QString>{
            QStringLiteral("Cannot write the search index %1; searches read the recordings' files instead")
                .arg(QString::fromStdString(blocked.string()))});
}
