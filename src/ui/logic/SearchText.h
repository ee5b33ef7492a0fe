#pragma once

#include "model/Recording.h"

#include <QLocale>
#include <array>
#include <chrono>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <thread>
#include <unordered_map>
#include <vector>

namespace palaverly {

class NgramFilter;

// Turns texts into the form the search compares: case folded under a locale and composed
// (NFC), in UTF-8, so that a case-insensitive containment test is a plain substring search.
// Letters that differ other than by case (ё and е) stay different. Folding is per character,
// without context (a final sigma folds like any sigma). One thread at a time.

class SearchFolder {
public:
    explicit SearchFolder(const QLocale& locale);

    // With `filter`, also adds the folded text's n-grams to it.
    std::string fold(std::string_view utf8, NgramFilter* filter = nullptr);
    const QLocale& locale() const { return m_locale; }

private:
    struct Mapping {
        bool known = false;
        // Characters that compose with their neighbours (combining marks, conjoining jamo) or
        // lie outside the basic plane take the slow path over the whole text.
        bool needsContext = false;
        std::uint8_t length = 0;
        std::uint8_t pointCount = 0;
        char bytes[12] = {};
        char32_t points[3] = {};
    };
    const Mapping& mapping(char16_t c)
    {
        const Mapping& entry = (*m_table)[c];
        return entry.known ? entry : computeMapping(c);
    }
    const Mapping& computeMapping(char16_t c);
    std::string foldSlowly(std::string_view utf8, NgramFilter* filter);

    QLocale m_locale;
    std::unique_ptr<std::array<Mapping, 0x10000>> m_table;
};

// Character n-grams (single characters, pairs and triples) of folded texts, hashed into a fixed
// number of bits: a query with an n-gram that is not there cannot be contained, so most texts are
// ruled out without reading them.
class NgramFilter {
public:
    static constexpr std::size_t kBits = 1 << 15;
    static constexpr std::size_t kBytes = kBits / 8;

    void add(std::string_view foldedUtf8);
    bool mayContain(const std::vector<std::uint32_t>& queryHashes) const;
    // The hashed n-grams of a folded query.
    static std::vector<std::uint32_t> hashesOf(std::string_view foldedUtf8);
    std::string_view bytes() const;
    // Nothing when `bytes` is not the size of a filter.
    static std::optional<NgramFilter> fromBytes(std::string_view bytes);

private:
    std::array<std::uint64_t, kBits / 64> m_words{};
};

// What the search knows of the recordings: for each, the folded texts of its transcript (the plain
// text, with the speakers' shown names) and summary, kept in a SQLite file of the cache folder, and
// in memory only their n-gram filter and the folded name. A worker thread reads and folds the
// transcripts that are new or changed, in the background; until it has, a recording is found by
// its name and summary only, and progress() says how far the index is. The file may be deleted at
// any time: it is filled again. Main thread only (the worker is internal).
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

    // Whether the recording's name, transcript text or summary contains the folded query.
    // Call between prepare() and the next change of the recordings.
    bool matches(const Recording& recording, std::string_view foldedQuery, const std::vector<std::uint32_t>& hashes);
    SearchFolder& folder();
    // Ends a search: the index file is not held open between keystrokes.
    void finishSearch();

private:
    struct Shared;
    struct Entry;
    // Builds the entries the main thread asks for, reusing the rows of the file whose source is
    // still the same. Runs on m_worker.
    static void runWorker(const std::shared_ptr<Shared>& shared, std::stop_token stop);
    bool textContains(const Entry& entry, std::string_view foldedQuery, bool summary);

    std::unique_ptr<SearchFolder> m_folder;
    std::shared_ptr<Shared> m_shared;
    std::unordered_map<Uuid, std::unique_ptr<Entry>> m_entries;
    // What each recording of the last prepare() is made of.
    std::unordered_map<Uuid, std::string> m_sources;
    std::unordered_map<Uuid, std::string> m_names;
    std::jthread m_worker;
    std::unique_ptr<class SqliteDatabase> m_db;
    struct Blob;
    std::unique_ptr<Blob> m_blob;
    bool m_stale = true;
};

} // namespace palaverly
