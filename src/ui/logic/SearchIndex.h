#pragma once

#include "model/Recording.h"
#include "ui/logic/NgramFilter.h"
#include "ui/logic/SearchFolder.h"

#include <QLocale>
#include <chrono>
#include <filesystem>
#include <memory>
#include <string>
#include <string_view>
#include <thread>
#include <unordered_map>
#include <unordered_set>
#include <vector>

namespace palaverly {

// What the search knows of the recordings: for each, the folded texts of its transcript (the plain
// text, with the speakers' shown names) and summary, kept in a SQLite file of the cache folder, and
// in memory only their n-gram filter, the beginning of the folded transcript and the folded name.
// A worker thread reads and folds the transcripts that are new or changed, in the background. A
// search that comes before the worker has read a recording reads it itself, so the answers are
// the same before and after; progress() says how far the worker is. The file may be deleted at any
// time: it is filled again. When it cannot be written at all, texts are read again from the
// recordings' files to confirm a match. Main thread only (the worker is internal).
class SearchIndex {
public:
    // `file` is the SQLite file of the index.
    explicit SearchIndex(std::filesystem::path file);
    ~SearchIndex();
    SearchIndex(const SearchIndex&) = delete;
    SearchIndex& operator=(const SearchIndex&) = delete;

    // $XDG_CACHE_HOME/palaverly/search.sqlite.
    static std::filesystem::path defaultFile();

    // The recordings have changed: the next prepare() looks at them again.
    void invalidate() { m_stale = true; }
    // Follows the recordings and the locale (the first time and after invalidate()): entries of
    // recordings that are gone or changed are dropped, and the worker is given the ones to build.
    // Takes over what the worker has built since the last call.
    void prepare(const std::vector<Recording>& recordings, const QLocale& locale);
    // Takes over what the worker has built since; true when anything came.
    bool collect();
    struct Progress {
        std::size_t indexed = 0;
        std::size_t total = 0;
        bool complete() const { return indexed >= total; }
    };
    Progress progress() const;
    // Waits up to `budget` for the worker to index every recording; true when it has.
    bool warmUp(const std::vector<Recording>& recordings, const QLocale& locale, std::chrono::milliseconds budget);

    // The recordings, in their order, whose name, transcript text or summary contains the folded
    // query. Call after prepare() with the same recordings. A query that contains the previous
    // one looks only at the recordings the previous one found.
    std::vector<const Recording*> find(const std::vector<Recording>& recordings, std::string_view foldedQuery);
    SearchFolder& folder();

private:
    struct Shared;
    struct Entry;
    struct Blob;
    // Builds the entries the main thread asks for, reusing the rows of the file whose source is
    // still the same. Runs on m_worker.
    static void runWorker(const std::shared_ptr<Shared>& shared, std::stop_token stop);
    bool matches(const Recording& recording, std::string_view foldedQuery, const std::vector<std::uint32_t>& hashes);
    // The entry of a recording, read here when the worker has not delivered it yet.
    const Entry& entryFor(const Recording& recording);
    // Looks for the query in the stored transcript text past the head, or in the stored summary.
    std::optional<bool> storedTextContains(const Entry& entry, std::string_view foldedQuery, bool summary);
    bool transcriptFileContains(const Recording& recording, std::string_view foldedQuery);

    std::unique_ptr<SearchFolder> m_folder;
    std::shared_ptr<Shared> m_shared;
    std::unordered_map<Uuid, std::unique_ptr<Entry>> m_entries;
    // What each recording of the last prepare() is made of.
    std::unordered_map<Uuid, std::string> m_sources;
    std::unordered_map<Uuid, std::string> m_names;
    // The last query and the recordings it did not find, while the recordings stay the same.
    std::string m_lastQuery;
    std::unordered_set<Uuid> m_lastMisses;
    std::size_t m_generation = 0;
    std::size_t m_lastGeneration = 0;
    std::unique_ptr<struct SearchReader> m_reader;
    std::jthread m_worker;
    std::unique_ptr<class SqliteDatabase> m_db;
    std::unique_ptr<Blob> m_blob;
    bool m_stale = true;
};

} // namespace palaverly
