#include "model/RecordingStore.h"
#include "model/JsonCoding.h"

#include "LogCapture.h"
#include "QtWait.h"
#include "TempLibrary.h"

#include <QSignalSpy>
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>
#include <sys/stat.h>

using namespace palaverly;
using palaverly::test::TempLibrary;
namespace fs = std::filesystem;

namespace {

Transcript twoSpeakers(std::optional<std::map<std::string, std::string>> labels = std::nullopt)
{
    Transcript transcript;
    transcript.segments = std::vector<TranscriptSegment>{
        {"A", "Привет", 0, 1}, {"B", "Да", 1, 2}, {"A", "Пока", 2, 3}, {"C", "Угу", 3, 4}};
    transcript.numSpeakers = 3;
    transcript.durationSec = 4;
    transcript.processingTimeSec = 1;
    transcript.rtf = 0.25;
    transcript.speakerLabels = std::move(labels);
    return transcript;
}

nlohmann::json fileJson(const fs::path& path)
{
    return *json::parse(TempLibrary::readFile(path));
}

std::vector<std::string> names(const RecordingStore& store)
{
    std::vector<std::string> out;
    for (const auto& recording : store.recordings())
        out.push_back(recording.name);
    return out;
}

} // namespace

TEST(RecordingStoreTest, ScanListsValidFoldersOfBothLayoutsNewestFirstAndSkipsTheRest)
{
    TempLibrary library;
    fs::create_directories(library.base());
    const auto meeting = TempLibrary::meta("meeting", RecordingKind::meeting, 100);
    const auto note = TempLibrary::meta("note", RecordingKind::note, 50);
    const auto tieMeeting = TempLibrary::meta("tie meeting", RecordingKind::meeting, 200);
    auto tieNote = TempLibrary::meta("tie note", RecordingKind::note, 200);
    library.addRecording(meeting);
    library.addRecording(note);
    library.addRecording(tieMeeting);
    library.addRecording(tieNote);

    // Older layout: directly in the library folder, kind from meta.json, any folder name.
    auto older = TempLibrary::meta("older", RecordingKind::note, 200);
    fs::create_directories(library.base() / "Моя запись 1");
    TempLibrary::writeFile(library.base() / "Моя запись 1" / "meta.json", RecordingStore::encode(older.toJson()));

    // Not recordings: corrupt, empty, binary, missing meta; a hidden folder; a stray file.
    for (const auto& [folder, bytes] : std::vector<std::pair<std::string, std::string>>{
             {"corrupt", "{\"id\": "}, {"empty", ""}, {"binary", std::string("\0\xff\x13", 3)}}) {
        fs::create_directories(library.base() / "meetings" / folder);
        TempLibrary::writeFile(library.base() / "meetings" / folder / "meta.json", bytes);
        TempLibrary::writeFile(library.base() / "meetings" / folder / "audio.wav", "keep me");
    }
    fs::create_directories(library.base() / "notes" / "no-meta");
    const auto hidden = TempLibrary::meta("hidden");
    fs::create_directories(library.base() / "meetings" / ".hidden");
    TempLibrary::writeFile(
        library.base() / "meetings" / ".hidden" / "meta.json", RecordingStore::encode(hidden.toJson()));
    TempLibrary::writeFile(library.base() / "meetings" / "stray.json", RecordingStore::encode(hidden.toJson()));

    RecordingStore store(library.base());
    EXPECT_EQ(names(store), (std::vector<std::string>{"note", "meeting", "tie meeting", "tie note", "older"}));
    const Recording* listedOlder = store.recording(older.id);
    ASSERT_TRUE(listedOlder);
    EXPECT_EQ(listedOlder->kind, RecordingKind::note);
    EXPECT_EQ(listedOlder->directoryURL(), library.base() / "Моя запись 1");
    EXPECT_EQ(listedOlder->audioURL(), library.base() / "Моя запись 1" / "audio.wav");
    EXPECT_EQ(TempLibrary::readFile(library.base() / "meetings" / "corrupt" / "audio.wav"), "keep me");
}

TEST(RecordingStoreTest, CreatesKindFoldersAndSurvivesHostileFiles)
{
    TempLibrary library;
    {
        RecordingStore store(library.base());
        EXPECT_TRUE(fs::is_directory(library.base() / "meetings"));
        EXPECT_TRUE(fs::is_directory(library.base() / "notes"));
        EXPECT_TRUE(store.recordings().empty());
    }

    // A huge meta.json (sparse, 200 MB) is not a recording; a huge or broken transcript is absent.
    const auto huge = TempLibrary::meta("huge");
    const fs::path hugeFolder = library.addRecording(huge);
    fs::resize_file(hugeFolder / "meta.json", 200u << 20);
    const auto good = TempLibrary::meta("good");
    const fs::path goodFolder = library.addRecording(good);
    TempLibrary::writeFile(goodFolder / "transcript.json", "{\"rtf\": [[[[[[");
    TempLibrary::writeFile(goodFolder / "summary.json", std::string(1000, '\xd0'));
    // A file where a kind folder should be.
    fs::remove_all(library.base() / "notes");
    TempLibrary::writeFile(library.base() / "notes", "not a folder");

    RecordingStore store(library.base());
    ASSERT_EQ(names(store), std::vector<std::string>{"good"});
    EXPECT_FALSE(store.recordings()[0].transcript);
    EXPECT_FALSE(store.recordings()[0].summary);
}

TEST(RecordingStoreTest, TheCacheFileGivesTheSameListAndMayBeStaleDeletedDamagedOrUnwritable)
{
    TempLibrary library;
    const auto meeting = TempLibrary::meta("встреча", RecordingKind::meeting, 100);
    const fs::path meetingFolder = library.addRecording(meeting);
    Transcript plain;
    plain.text = "только текст";
    TempLibrary::writeFile(
        library.addRecording(TempLibrary::meta("заметка", RecordingKind::note, 50)) / "transcript.json",
        RecordingStore::encode(plain.toJson()));
    TempLibrary::writeFile(meetingFolder / "transcript.json",
        RecordingStore::encode(twoSpeakers(std::map<std::string, std::string>{{"A", "Анна"}}).toJson()));
    TempLibrary::writeFile(
        meetingFolder / "summary.json", RecordingStore::encode(Summary{"m", meeting.createdAt, "итоги"}.toJson()));
    const fs::path cache = library.base().parent_path() / "cache" / "library.sqlite";
    const auto listed = [&](const fs::path& cacheFile) {
        return RecordingStore(library.base(), RecordingStore::InitialScan::now, cacheFile).recordings();
    };

    const std::vector<Recording> original = listed({});
    ASSERT_EQ(original.size(), 2u);
    EXPECT_EQ(listed(cache), original);
    EXPECT_TRUE(fs::exists(cache));
    EXPECT_EQ(listed(cache), original);

    // Files changed behind the cache's back.
    RecordingStore(library.base()).rename(original[1], "встреча про бюджет");
    TempLibrary::writeFile(meetingFolder / "transcript.json",
        RecordingStore::encode(twoSpeakers(std::map<std::string, std::string>{{"B", "Борис"}}).toJson()));
    const std::vector<Recording> edited = listed({});
    ASSERT_NE(edited, original);
    EXPECT_EQ(listed(cache), edited);

    // Damaged, then deleted.
    TempLibrary::writeFile(cache, std::string(5000, 'x'));
    EXPECT_EQ(listed(cache), edited);
    EXPECT_EQ(listed(cache), edited);
    for (const char* suffix : {"", "-wal", "-shm"})
        fs::remove(cache.string() + suffix);
    EXPECT_EQ(listed(cache), edited);

    // A regular file where the cache folder should be: said once, nothing lost.
    test::LogCapture logs;
    const fs::path blocked = meetingFolder / "meta.json" / "library.sqlite";
    EXPECT_EQ(listed(blocked), edited);
    EXPECT_EQ(logs.errors("LibraryCache"),
        std::vector<QString>{
            QStringLiteral("Cannot write the library cache %1; the library is read from its files at every start")
                .arg(QString::fromStdString(blocked.string()))});
    EXPECT_TRUE(fs::is_regular_file(meetingFolder / "meta.json"));
}

TEST(RecordingStoreTest, PublishesOnlyWhenTheListChanges)
{
    TempLibrary library;
    const auto meta = TempLibrary::meta("first");
    const fs::path folder = library.addRecording(meta);
    RecordingStore store(library.base());
    QSignalSpy changed(&store, &RecordingStore::recordingsChanged);

    store.reload();
    EXPECT_EQ(changed.count(), 0);

    TempLibrary::writeFile(
        folder / "summary.json", R"({"model":"qwen-summary","createdAt":"2026-03-05T10:00:00Z","text":"Итоги"})");
    store.reload();
    EXPECT_EQ(changed.count(), 1);
    ASSERT_TRUE(store.recordings()[0].summary);
    EXPECT_EQ(store.recordings()[0].summary->text, "Итоги");

    // Rewritten in place by another program, same size: still seen.
    auto renamed = meta;
    renamed.name = "fir5t";
    TempLibrary::writeFile(folder / "meta.json", RecordingStore::encode(renamed.toJson()));
    store.reload();
    EXPECT_EQ(changed.count(), 2);
    EXPECT_EQ(store.recordings()[0].name, "fir5t");
    store.reload();
    EXPECT_EQ(changed.count(), 2);
}

TEST(RecordingStoreTest, RenameTrimsIgnoresBlankNamesAndUpgradesOlderMeta)
{
    TempLibrary library;
    fs::create_directories(library.base());
    const auto meta = TempLibrary::meta("old name");
    nlohmann::json olderJson = meta.toJson();
    olderJson.erase("kind");
    fs::create_directories(library.base() / "legacy");
    TempLibrary::writeFile(library.base() / "legacy" / "meta.json", olderJson.dump());
    RecordingStore store(library.base());
    ASSERT_EQ(store.recordings().size(), 1u);

    store.rename(store.recordings()[0], "  \n\t ");
    EXPECT_EQ(names(store), std::vector<std::string>{"old name"});

    store.rename(store.recordings()[0], "  Планы на квартал \n");
    EXPECT_EQ(names(store), std::vector<std::string>{"Планы на квартал"});
    const auto written = fileJson(library.base() / "legacy" / "meta.json");
    EXPECT_EQ(written["name"], "Планы на квартал");
    EXPECT_EQ(written["kind"], "meeting");
    EXPECT_EQ(written["createdAt"], "2026-03-05T09:41:07Z");
}

TEST(RecordingStoreTest, FailedEditsAreLoggedAndLeaveTheListAlone)
{
    TempLibrary library;
    const auto meta = TempLibrary::meta("name");
    const fs::path folder = library.addRecording(meta);
    TempLibrary::writeFile(folder / "transcript.json", RecordingStore::encode(twoSpeakers().toJson()));
    RecordingStore store(library.base());
    const Recording recording = store.recordings().at(0);
    // The speakers' edits start from the transcript read for the view, not from the file.
    ASSERT_TRUE(store.transcript(recording));
    test::LogCapture logs;

    fs::remove(folder / "meta.json");
    store.rename(recording, "new");
    store.updateDuration(meta.id, RecordingKind::meeting, 5);
    fs::remove_all(folder);
    store.renameSpeaker(recording, "A", "Anna");
    store.mergeSpeaker(recording, "A", "B");

    const auto errors = logs.errors("RecordingStore");
    ASSERT_EQ(errors.size(), 4u);
    const QString id = QString::fromStdString(meta.id.toString());
    EXPECT_TRUE(errors[0].startsWith("rename failed (" + id + "): ")) << errors[0].toStdString();
    EXPECT_TRUE(errors[0].contains("meta.json"));
    EXPECT_TRUE(errors[1].startsWith("updateDuration failed (" + id + "): "));
    EXPECT_TRUE(errors[2].startsWith("renameSpeaker failed (" + id + "): "));
    EXPECT_TRUE(errors[3].startsWith("mergeSpeaker failed (" + id + "): "));
    EXPECT_EQ(names(store), std::vector<std::string>{"name"}); // no reload after a failure
}

TEST(RecordingStoreTest, UpdateDurationWritesWithoutReloading)
{
    TempLibrary library;
    const auto meta = TempLibrary::meta("note", RecordingKind::note);
    const fs::path folder = library.addRecording(meta);
    RecordingStore store(library.base());

    store.updateDuration(meta.id, RecordingKind::note, 90.5);
    EXPECT_EQ(fileJson(folder / "meta.json")["duration"], 90.5);
    EXPECT_EQ(store.recordings()[0].duration, 0);
    store.reload();
    EXPECT_EQ(store.recordings()[0].duration, 90.5);
}

TEST(RecordingStoreTest, DeleteRemovesFoldersAndOnlyLinksOfLinkedFolders)
{
    TempLibrary library;
    const auto a = TempLibrary::meta("a");
    const auto b = TempLibrary::meta("b", RecordingKind::note);
    library.addRecording(a);
    library.addRecording(b);

    // A recording folder that is a symbolic link to a folder elsewhere.
    const auto linked = TempLibrary::meta("linked");
    const fs::path outside = library.base().parent_path() / "outside";
    fs::create_directories(outside);
    TempLibrary::writeFile(outside / "meta.json", RecordingStore::encode(linked.toJson()));
    fs::create_directory_symlink(outside, library.base() / "meetings" / linked.id.toString());

    RecordingStore store(library.base());
    ASSERT_EQ(store.recordings().size(), 3u);

    // An empty set does not even rescan: a recording added behind the store's back stays unseen.
    const auto late = TempLibrary::meta("late");
    library.addRecording(late);
    store.deleteRecordings({});
    EXPECT_EQ(store.recordings().size(), 3u);
    // A set that matches nothing only rescans.
    store.deleteRecordings({Uuid::generate()});
    EXPECT_EQ(store.recordings().size(), 4u);

    store.deleteRecordings({a.id, linked.id});
    EXPECT_EQ(names(store), (std::vector<std::string>{"late", "b"}));
    EXPECT_FALSE(fs::exists(library.folderOf(a)));
    EXPECT_FALSE(fs::exists(fs::symlink_status(library.base() / "meetings" / linked.id.toString())));
    EXPECT_TRUE(fs::exists(outside / "meta.json"));
}

TEST(RecordingStoreTest, RenameSpeakerSetsTrimsAndClearsLabels)
{
    TempLibrary library;
    const auto meta = TempLibrary::meta("m");
    const fs::path folder = library.addRecording(meta);
    TempLibrary::writeFile(folder / "transcript.json", RecordingStore::encode(twoSpeakers().toJson()));
    RecordingStore store(library.base());

    store.renameSpeaker(store.recordings()[0], "A", "  Анна ");
    ASSERT_TRUE(store.transcript(store.recordings()[0])->speakerLabels);
    EXPECT_EQ(store.transcript(store.recordings()[0])->displayName("A"), "Анна");
    EXPECT_EQ(store.recordings()[0].transcript->preview.rfind("Анна: Привет", 0), 0u);
    EXPECT_EQ(fileJson(folder / "transcript.json")["speaker_labels"], (nlohmann::json{{"A", "Анна"}}));

    store.renameSpeaker(store.recordings()[0], "A", " \n");
    const auto written = fileJson(folder / "transcript.json");
    EXPECT_FALSE(written.contains("speaker_labels"));
    EXPECT_EQ(written["num_speakers"], 3);
    EXPECT_EQ(written["segments"].size(), 4u);
    EXPECT_FALSE(store.transcript(store.recordings()[0])->speakerLabels);

    // Without a transcript nothing is written.
    const auto bare = TempLibrary::meta("bare", RecordingKind::meeting, 10);
    const fs::path bareFolder = library.addRecording(bare);
    store.reload();
    store.renameSpeaker(*store.recording(bare.id), "A", "Anna");
    EXPECT_FALSE(fs::exists(bareFolder / "transcript.json"));
}

TEST(RecordingStoreTest, MergeSpeakerMovesTurnsCountsSpeakersAndKeepsTheRightName)
{
    TempLibrary library;
    const auto meta = TempLibrary::meta("m");
    const fs::path folder = library.addRecording(meta);
    TempLibrary::writeFile(folder / "transcript.json", RecordingStore::encode(twoSpeakers({{{"A", "Anna"}}}).toJson()));
    RecordingStore store(library.base());

    // A (Anna) into B (no name): B's turns show Anna.
    store.mergeSpeaker(store.recordings()[0], "A", "B");
    const Transcript merged = *store.transcript(store.recordings()[0]);
    EXPECT_EQ(merged.plainText(), "Anna: Привет\n\nAnna: Да\n\nAnna: Пока\n\nC: Угу");
    EXPECT_EQ(merged.numSpeakers, 2);
    EXPECT_EQ(merged.speakerLabels, (std::map<std::string, std::string>{{"B", "Anna"}}));
    EXPECT_EQ(merged.segments->at(2), (TranscriptSegment{"B", "Пока", 2, 3}));

    // B (Anna) into C (Boris): Boris stays, Anna goes.
    store.renameSpeaker(store.recordings()[0], "C", "Boris");
    store.mergeSpeaker(store.recordings()[0], "B", "C");
    EXPECT_EQ(
        store.transcript(store.recordings()[0])->speakerLabels, (std::map<std::string, std::string>{{"C", "Boris"}}));
    EXPECT_EQ(store.recordings()[0].transcript->numSpeakers, 1);

    // Into itself, or without segments: the file is not rewritten.
    struct stat before { };
    ::stat((folder / "transcript.json").c_str(), &before);
    store.mergeSpeaker(store.recordings()[0], "C", "C");
    Transcript plain = *store.transcript(store.recordings()[0]);
    plain.segments = std::vector<TranscriptSegment>{};
    TempLibrary::writeFile(folder / "transcript.json", RecordingStore::encode(plain.toJson()));
    store.reload();
    ::stat((folder / "transcript.json").c_str(), &before);
    store.mergeSpeaker(store.recordings()[0], "C", "D");
    struct stat after { };
    ::stat((folder / "transcript.json").c_str(), &after);
    EXPECT_EQ(before.st_ino, after.st_ino);
}

TEST(RecordingStoreTest, BackgroundInitialScanFillsTheListWithoutBlockingStartUp)
{
    TempLibrary library;
    library.addRecording(TempLibrary::meta("a"));
    library.addRecording(TempLibrary::meta("b", RecordingKind::note, 10));
    RecordingStore store(library.base(), RecordingStore::InitialScan::inBackground);
    QSignalSpy changed(&store, &RecordingStore::recordingsChanged);
    ASSERT_TRUE(test::waitUntil([&] { return store.recordings().size() == 2; }));
    EXPECT_EQ(changed.count(), 1);
    EXPECT_EQ(names(store), (std::vector<std::string>{"a", "b"}));

    // Destroyed while scanning: no crash, no late delivery.
    auto early = std::make_unique<RecordingStore>(library.base(), RecordingStore::InitialScan::inBackground);
    early.reset();
    QCoreApplication::processEvents();
}
