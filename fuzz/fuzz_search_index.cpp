// The search index's file as the program finds it in the cache folder: any bytes at all. The index
// takes from it the rows of the recordings it knows, and searches read the stored texts past what
// it keeps in memory. With PALAVERLY_FUZZ_WRITE_SEED=<file> set, the target first writes there the
// index its own recordings give (the seed of the corpus).
#include "ui/logic/SearchIndex.h"

#include <cstdlib>
#include <fstream>
#include <unistd.h>

namespace {

using namespace palaverly;
namespace fs = std::filesystem;

// The index file is written, opened and removed again in every run: kept in memory (/dev/shm)
// where the system has it, away from the disk. Removed when the fuzzer exits.
struct Scratch {
    fs::path path;
    Scratch()
    {
        const fs::path base = fs::is_directory("/dev/shm") ? fs::path("/dev/shm") : fs::temp_directory_path();
        path = base / ("palaverly-fuzz-index-" + std::to_string(::getpid()));
        fs::create_directories(path);
    }
    ~Scratch()
    {
        std::error_code ignored;
        fs::remove_all(path, ignored);
    }
};

const fs::path& folder()
{
    static const Scratch scratch;
    return scratch.path;
}

Recording recording(const char* id, const char* name, const std::optional<Transcript>& transcript,
    const std::optional<std::string>& summary)
{
    Recording r;
    r.id = *Uuid::parse(id);
    r.name = name;
    r.directory = (folder() / id).string();
    if (transcript) {
        fs::create_directories(r.directory);
        std::ofstream(r.transcriptURL(), std::ios::binary) << transcript->toJson().dump();
        // A stamp of its own, the same in every run, so that the seed's rows are taken as current.
        FileStamp stamp;
        stamp.exists = true;
        stamp.inode = 7;
        stamp.size = 100;
        r.transcript = TranscriptInfo::of(*transcript, stamp);
    }
    if (summary)
        r.summary = Summary{"m", {}, *summary};
    return r;
}

// A long meeting (its text runs past what the index keeps in memory), a note, a summary only.
const std::vector<Recording>& recordings()
{
    static const std::vector<Recording> list = [] {
        Transcript meeting;
        std::vector<TranscriptSegment> turns;
        for (int i = 0; i < 200; ++i)
            turns.push_back({i % 2 ? "SPEAKER_01" : "SPEAKER_00",
                i == 150 ? "Релиз переносим на ёлку" : "Обсуждаем бюджет и сроки квартала", i * 2.0, i * 2.0 + 2});
        meeting.segments = std::move(turns);
        meeting.speakerLabels = std::map<std::string, std::string>{{"SPEAKER_01", "Анна"}};
        Transcript note;
        note.text = "Купить молоко";
        return std::vector<Recording>{
            recording("6F1C2A9E-0000-4000-8000-000000000001", "Планёрка", meeting, "Итоги: бюджет утверждён"),
            recording("6F1C2A9E-0000-4000-8000-000000000002", "Заметка", note, std::nullopt),
            recording("6F1C2A9E-0000-4000-8000-000000000003", "Созвон", std::nullopt, "Итоги: созвон с Анной")};
    }();
    return list;
}

void searchThrough(const fs::path& file)
{
    const QLocale locale(QLocale::Russian, QLocale::Russia);
    SearchIndex index(file);
    index.warmUp(recordings(), locale, std::chrono::seconds(5));
    for (const char* query : {"бюджет", "ёлку", "анна: релиз", "созвон", "нет такого"})
        (void)index.find(recordings(), index.folder().fold(query));
}

void removeIndex(const fs::path& file)
{
    for (const char* suffix : {"", "-wal", "-shm"})
        fs::remove(file.string() + suffix);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    static const bool seeded = [] {
        if (const char* seed = std::getenv("PALAVERLY_FUZZ_WRITE_SEED")) {
            const fs::path built = folder() / "seed.sqlite";
            removeIndex(built);
            searchThrough(built);
            fs::copy_file(built, seed, fs::copy_options::overwrite_existing);
        }
        return true;
    }();
    (void)seeded;
    const fs::path file = folder() / "search.sqlite";
    removeIndex(file);
    std::ofstream(file, std::ios::binary)
        .write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
    searchThrough(file);
    return 0;
}
