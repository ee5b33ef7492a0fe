#include "ui/logic/SearchIndex.h"

#include "common/Log.h"
#include "common/Sqlite.h"
#include "model/RecordDecoding.h"

#include <QStandardPaths>
#include <QString>
#include <condition_variable>
#include <cstring>
#include <functional>
#include <mutex>
#include <sqlite3.h>

Q_LOGGING_CATEGORY(lcSearchIndex, "SearchIndex")

namespace palaverly {

namespace fs = std::filesystem;

// Reads transcript files into their plain text and gathers n-grams; one per thread.
struct SearchReader {
    json::dom::parser parser;
    json::PaddedText text;
    NgramSet grams;

    // The plain text of the transcript in `file`, empty when it cannot be read or decoded.
    std::string plainText(const fs::path& file)
    {
        if (!text.readFile(file, std::uintmax_t{256} << 20))
            return {};
        const auto transcript = json::decodeObject(parser, text, json::decodeTranscript);
        return transcript ? transcript->plainText() : std::string();
    }
};

namespace {

bool contains(std::string_view haystack, std::string_view needle)
{
    return ::memmem(haystack.data(), haystack.size(), needle.data(), needle.size()) != nullptr;
}

// Raised whenever the table, the filter or the folding changes.
constexpr int kIndexVersion = 2;

constexpr const char* kIndexSchema = R"(
CREATE TABLE IF NOT EXISTS entries(
    row INTEGER PRIMARY KEY,
    id BLOB NOT NULL UNIQUE,
    source BLOB NOT NULL,
    filter BLOB NOT NULL,
    split INTEGER NOT NULL,
    text BLOB NOT NULL
);
PRAGMA user_version = 2;
)";

// What an entry is built from: the locale, the transcript file's version and the summary text.
std::string sourceOf(const Recording& recording, const QLocale& locale)
{
    std::string source = locale.name().toStdString();
    source += '|';
    if (const auto& transcript = recording.transcript) {
        const FileStamp& f = transcript->file;
        for (const unsigned long long part : {f.device, f.inode, f.size})
            source += std::to_string(part) + ',';
        for (const long long part : {f.changedSeconds, f.changedNanoseconds, f.modifiedSeconds, f.modifiedNanoseconds})
            source += std::to_string(part) + ',';
    }
    source += '|';
    if (recording.summary)
        source += std::to_string(std::hash<std::string>{}(recording.summary->text)) + ','
            + std::to_string(recording.summary->text.size());
    return source;
}

} // namespace

struct SearchIndex::Entry {
    // Most matches lie early in a text: the beginning of the folded transcript is kept in memory.
    static constexpr std::size_t kHeadBytes = 4096;

    std::string source;
    std::string head;
    // The row of the index file holding the folded transcript text in [0, split) of its text
    // column and the folded summary in [split, size); 0 when the file could not take it.
    std::int64_t row = 0;
    std::size_t split = 0;
    std::size_t size = 0;
    NgramFilter filter;

    // Reads and folds a recording's texts; `folded` receives the transcript's folded text
    // followed by the summary's.
    static std::unique_ptr<Entry> read(SearchFolder& folder, SearchReader& reader,
        const std::optional<fs::path>& transcript, const std::optional<std::string>& summary, std::string& folded)
    {
        auto entry = std::make_unique<Entry>();
        reader.grams.clear();
        folded = folder.fold(transcript ? reader.plainText(*transcript) : std::string(), &reader.grams);
        entry->split = folded.size();
        entry->head = folded.substr(0, kHeadBytes);
        if (summary)
            folded += folder.fold(*summary, &reader.grams);
        entry->size = folded.size();
        entry->filter = NgramFilter(reader.grams);
        return entry;
    }
};

struct SearchIndex::Shared {
    struct Job {
        Uuid id;
        std::string source;
        std::optional<fs::path> transcript;
        std::optional<std::string> summary;
        // False when the main thread has the entry already: the worker only keeps its row.
        bool needed = true;
    };

    fs::path file;
    std::mutex mutex;
    std::condition_variable_any wake;
    // Set by prepare(), taken by the worker.
    std::optional<std::vector<Job>> wanted;
    QLocale locale;
    // Built by the worker, taken by collect().
    std::vector<std::pair<Uuid, std::unique_ptr<Entry>>> done;
};

struct SearchIndex::Blob {
    sqlite3_blob* handle = nullptr;
    ~Blob()
    {
        if (handle)
            sqlite3_blob_close(handle);
    }
};

SearchIndex::SearchIndex(fs::path file)
    : m_shared(std::make_shared<Shared>())
    , m_reader(std::make_unique<SearchReader>())
    , m_db(std::make_unique<SqliteDatabase>())
    , m_blob(std::make_unique<Blob>())
{
    m_shared->file = std::move(file);
    m_worker = std::jthread([shared = m_shared](std::stop_token stop) { runWorker(shared, stop); });
}

SearchIndex::~SearchIndex()
{
    m_blob.reset();
    m_worker.request_stop();
    m_shared->wake.notify_all();
}

fs::path SearchIndex::defaultFile()
{
    const QString cache = QStandardPaths::writableLocation(QStandardPaths::GenericCacheLocation);
    return fs::path(cache.toStdString()) / "palaverly" / "search.sqlite";
}

SearchFolder& SearchIndex::folder()
{
    return *m_folder;
}

void SearchIndex::prepare(const std::vector<Recording>& recordings, const QLocale& locale)
{
    if (!m_folder || m_folder->locale() != locale) {
        m_folder = std::make_unique<SearchFolder>(locale);
        m_names.clear();
        m_entries.clear();
        m_stale = true;
    }
    collect();
    if (!m_stale)
        return;
    m_stale = false;
    ++m_generation;
    // Opened here, not in the middle of a keystroke.
    if (!m_db->isOpen())
        m_db->open(m_shared->file);
    std::unordered_map<Uuid, std::string> sources;
    bool sameSources = recordings.size() == m_sources.size();
    for (const Recording& recording : recordings) {
        std::string source = sourceOf(recording, locale);
        const auto known = m_sources.find(recording.id);
        sameSources = sameSources && known != m_sources.end() && known->second == source;
        sources.emplace(recording.id, std::move(source));
        m_names[recording.id] = m_folder->fold(recording.name);
    }
    for (auto it = m_entries.begin(); it != m_entries.end();) {
        const auto wanted = sources.find(it->first);
        if (wanted == sources.end() || wanted->second != it->second->source)
            it = m_entries.erase(it);
        else
            ++it;
    }
    for (auto it = m_names.begin(); it != m_names.end();)
        it = sources.count(it->first) ? std::next(it) : m_names.erase(it);
    if (sameSources)
        return;
    std::vector<Shared::Job> jobs;
    jobs.reserve(recordings.size());
    for (const Recording& recording : recordings)
        jobs.push_back({recording.id, sources[recording.id],
            recording.transcript ? std::optional(recording.transcriptURL()) : std::nullopt,
            recording.summary ? std::optional(recording.summary->text) : std::nullopt, !m_entries.count(recording.id)});
    m_sources = std::move(sources);
    {
        std::lock_guard lock(m_shared->mutex);
        m_shared->wanted = std::move(jobs);
        m_shared->locale = locale;
    }
    m_shared->wake.notify_all();
}

bool SearchIndex::collect()
{
    std::vector<std::pair<Uuid, std::unique_ptr<Entry>>> done;
    {
        std::lock_guard lock(m_shared->mutex);
        done.swap(m_shared->done);
    }
    for (auto& [id, entry] : done) {
        const auto wanted = m_sources.find(id);
        if (wanted == m_sources.end() || wanted->second != entry->source)
            continue;
        // What the worker stored replaces what a search read itself.
        auto& slot = m_entries[id];
        if (!slot || !slot->row)
            slot = std::move(entry);
    }
    return !done.empty();
}

SearchIndex::Progress SearchIndex::progress() const
{
    std::size_t indexed = 0;
    for (const auto& [id, entry] : m_entries)
        indexed += m_sources.count(id);
    return {indexed, m_sources.size()};
}

bool SearchIndex::warmUp(
    const std::vector<Recording>& recordings, const QLocale& locale, std::chrono::milliseconds budget)
{
    prepare(recordings, locale);
    const auto deadline = std::chrono::steady_clock::now() + budget;
    while (true) {
        collect();
        if (progress().complete())
            return true;
        if (std::chrono::steady_clock::now() >= deadline)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
}

std::vector<const Recording*> SearchIndex::find(const std::vector<Recording>& recordings, std::string_view foldedQuery)
{
    const std::vector<std::uint32_t> hashes = NgramFilter::hashesOf(foldedQuery);
    // Whatever contains the longer query contains the shorter one.
    const bool narrowing = m_lastGeneration == m_generation && contains(foldedQuery, m_lastQuery);
    std::unordered_set<Uuid> misses;
    std::vector<const Recording*> out;
    for (const Recording& recording : recordings) {
        if ((narrowing && m_lastMisses.count(recording.id)) || !matches(recording, foldedQuery, hashes))
            misses.insert(recording.id);
        else
            out.push_back(&recording);
    }
    m_lastQuery = foldedQuery;
    m_lastMisses = std::move(misses);
    m_lastGeneration = m_generation;
    // The index file is not held open between keystrokes.
    m_blob = std::make_unique<Blob>();
    return out;
}

bool SearchIndex::matches(
    const Recording& recording, std::string_view foldedQuery, const std::vector<std::uint32_t>& hashes)
{
    const auto name = m_names.find(recording.id);
    if (name != m_names.end() ? contains(name->second, foldedQuery)
                              : contains(m_folder->fold(recording.name), foldedQuery))
        return true;
    const Entry& entry = entryFor(recording);
    if (!entry.filter.mayContain(hashes))
        return false;
    if (recording.transcript) {
        if (contains(entry.head, foldedQuery))
            return true;
        if (entry.split > entry.head.size()) {
            const auto stored = storedTextContains(entry, foldedQuery, false);
            if (stored ? *stored : transcriptFileContains(recording, foldedQuery))
                return true;
        }
    }
    if (recording.summary) {
        const auto stored = storedTextContains(entry, foldedQuery, true);
        return stored ? *stored : contains(m_folder->fold(recording.summary->text), foldedQuery);
    }
    return false;
}

const SearchIndex::Entry& SearchIndex::entryFor(const Recording& recording)
{
    auto& slot = m_entries[recording.id];
    if (!slot) {
        std::string folded;
        slot = Entry::read(*m_folder, *m_reader,
            recording.transcript ? std::optional(recording.transcriptURL()) : std::nullopt,
            recording.summary ? std::optional(recording.summary->text) : std::nullopt, folded);
        slot->source = sourceOf(recording, m_folder->locale());
    }
    return *slot;
}

bool SearchIndex::transcriptFileContains(const Recording& recording, std::string_view foldedQuery)
{
    return contains(m_folder->fold(m_reader->plainText(recording.transcriptURL())), foldedQuery);
}

std::optional<bool> SearchIndex::storedTextContains(const Entry& entry, std::string_view foldedQuery, bool summary)
{
    if (!entry.row)
        return std::nullopt;
    // The transcript's head was looked at already; a match may still begin inside it.
    const std::size_t headTail
        = entry.head.size() >= foldedQuery.size() ? entry.head.size() - foldedQuery.size() + 1 : 0;
    const std::size_t begin = summary ? entry.split : headTail;
    const std::size_t end = summary ? entry.size : entry.split;
    if (end < begin || end - begin < foldedQuery.size())
        return false;
    const auto openBlob = [&] {
        if (!m_db->isOpen() && !m_db->open(m_shared->file))
            return false;
        if (m_blob->handle)
            return sqlite3_blob_reopen(m_blob->handle, entry.row) == SQLITE_OK;
        return sqlite3_blob_open(m_db->handle(), "main", "entries", "text", entry.row, 0, &m_blob->handle) == SQLITE_OK;
    };
    if (!openBlob()) {
        // A connection opened before the worker made the table does not see it: open it anew.
        m_blob = std::make_unique<Blob>();
        m_db = std::make_unique<SqliteDatabase>();
        if (!openBlob()) {
            m_blob = std::make_unique<Blob>();
            return std::nullopt;
        }
    }
    if (static_cast<std::size_t>(sqlite3_blob_bytes(m_blob->handle)) != entry.size)
        return std::nullopt;
    // Read a little first (most matches are early), then more at a time; the tail of one read is
    // kept so that a match across two reads is found.
    std::string window;
    std::size_t position = begin;
    std::size_t chunk = 16384;
    while (position < end) {
        const std::size_t count = std::min(chunk, end - position);
        const std::size_t keep = std::min(window.size(), foldedQuery.size() - 1);
        window.erase(0, window.size() - keep);
        window.resize(keep + count);
        if (sqlite3_blob_read(m_blob->handle, window.data() + keep, static_cast<int>(count), static_cast<int>(position))
            != SQLITE_OK)
            return std::nullopt;
        if (contains(window, foldedQuery))
            return true;
        position += count;
        chunk = std::min<std::size_t>(chunk * 4, 1 << 20);
    }
    return false;
}

namespace {

// The rows of the index file, by recording, with what they were built from.
struct StoredRow {
    std::string source;
    std::int64_t row = 0;
};

std::unordered_map<Uuid, StoredRow> readRows(SqliteDatabase& db)
{
    std::unordered_map<Uuid, StoredRow> rows;
    SqliteStatement select(db, "SELECT id, source, row FROM entries");
    while (select.step())
        if (const auto id = Uuid::parse(select.bytes(0)); id && select.isInteger(2))
            rows[*id] = {std::string(select.bytes(1)), select.integer(2)};
    return rows;
}

} // namespace

void SearchIndex::runWorker(const std::shared_ptr<Shared>& shared, std::stop_token stop)
{
    SqliteDatabase db;
    bool opened = false;
    std::unordered_map<Uuid, StoredRow> stored;
    std::unique_ptr<SearchFolder> folder;
    SearchReader reader;
    while (!stop.stop_requested()) {
        std::vector<Shared::Job> jobs;
        QLocale locale;
        {
            std::unique_lock lock(shared->mutex);
            shared->wake.wait(lock, stop, [&] { return shared->wanted.has_value(); });
            if (stop.stop_requested())
                return;
            jobs = std::move(*shared->wanted);
            shared->wanted.reset();
            locale = shared->locale;
        }
        if (!opened) {
            opened = true;
            if (db.openWithSchema(shared->file, kIndexVersion, "entries", kIndexSchema))
                stored = readRows(db);
            else
                log::error(lcSearchIndex(),
                    QStringLiteral("Cannot write the search index %1; searches read the recordings' files instead")
                        .arg(QString::fromStdString(shared->file.string())));
        }
        if (!folder || folder->locale() != locale)
            folder = std::make_unique<SearchFolder>(locale);
        SqliteStatement insert(
            db, "INSERT OR REPLACE INTO entries(id, source, filter, split, text) VALUES(?1, ?2, ?3, ?4, ?5)");
        SqliteStatement select(db,
            "SELECT filter, split, length(text), substr(text, 1, " + std::to_string(Entry::kHeadBytes)
                + ") FROM entries WHERE row = ?1");
        std::unordered_set<Uuid> wantedIDs;
        bool interrupted = false;
        for (const auto& job : jobs) {
            wantedIDs.insert(job.id);
            if (stop.stop_requested())
                return;
            {
                std::lock_guard lock(shared->mutex);
                interrupted = shared->wanted.has_value();
            }
            if (interrupted)
                break;
            std::unique_ptr<Entry> entry;
            const auto known = stored.find(job.id);
            const bool current = known != stored.end() && known->second.source == job.source;
            if (current && !job.needed)
                continue;
            if (current) {
                select.bind(1, known->second.row);
                if (select.step() && select.isInteger(1) && select.isInteger(2)) {
                    const auto filter = NgramFilter::fromBytes(select.bytes(0));
                    const std::int64_t split = select.integer(1), size = select.integer(2);
                    if (filter && split >= 0 && split <= size) {
                        entry = std::make_unique<Entry>();
                        entry->filter = *filter;
                        entry->split = static_cast<std::size_t>(split);
                        entry->size = static_cast<std::size_t>(size);
                        entry->head = std::string(select.bytes(3).substr(0, entry->split));
                        entry->row = known->second.row;
                    }
                }
                select.reset();
            }
            if (!entry) {
                std::string folded;
                entry = Entry::read(*folder, reader, job.transcript, job.summary, folded);
                insert.bind(1, std::string_view(job.id.toString()));
                insert.bind(2, std::string_view(job.source));
                insert.bind(3, std::string_view(entry->filter.bytes()));
                insert.bind(4, static_cast<std::int64_t>(entry->split));
                insert.bind(5, std::string_view(folded));
                insert.step();
                // Without the file the entry still serves; its texts are read again to confirm.
                if (!insert.error()) {
                    entry->row = sqlite3_last_insert_rowid(db.handle());
                    stored[job.id] = {job.source, entry->row};
                }
                insert.reset();
            }
            entry->source = job.source;
            std::lock_guard lock(shared->mutex);
            shared->done.emplace_back(job.id, std::move(entry));
        }
        if (interrupted)
            continue;
        // Rows of recordings that are gone.
        SqliteStatement remove(db, "DELETE FROM entries WHERE id = ?1");
        for (auto it = stored.begin(); it != stored.end();) {
            if (wantedIDs.count(it->first)) {
                ++it;
                continue;
            }
            remove.bind(1, std::string_view(it->first.toString()));
            remove.step();
            remove.reset();
            it = stored.erase(it);
        }
    }
}

} // namespace palaverly
