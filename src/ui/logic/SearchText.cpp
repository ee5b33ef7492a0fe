#include "ui/logic/SearchText.h"

#include "common/Sqlite.h"
#include "model/RecordDecoding.h"

#include <QStandardPaths>
#include <QString>
#include <atomic>
#include <condition_variable>
#include <cstring>
#include <functional>
#include <mutex>
#include <sqlite3.h>

namespace palaverly {

namespace {

constexpr char32_t kReplacement = 0xFFFD;

// Decodes one code point at `i` and moves past it; malformed bytes read as U+FFFD, one at a time.
char32_t decodeUtf8(std::string_view text, std::size_t& i)
{
    const auto byte = [&](std::size_t at) { return static_cast<unsigned char>(text[at]); };
    const unsigned char lead = byte(i);
    if (lead < 0x80) {
        ++i;
        return lead;
    }
    int extra = 0;
    char32_t cp = 0;
    if ((lead & 0xE0) == 0xC0) {
        extra = 1;
        cp = lead & 0x1F;
    } else if ((lead & 0xF0) == 0xE0) {
        extra = 2;
        cp = lead & 0x0F;
    } else if ((lead & 0xF8) == 0xF0) {
        extra = 3;
        cp = lead & 0x07;
    } else {
        ++i;
        return kReplacement;
    }
    if (i + static_cast<std::size_t>(extra) >= text.size()) {
        ++i;
        return kReplacement;
    }
    for (int k = 1; k <= extra; ++k) {
        const unsigned char next = byte(i + static_cast<std::size_t>(k));
        if ((next & 0xC0) != 0x80) {
            ++i;
            return kReplacement;
        }
        cp = (cp << 6) | (next & 0x3F);
    }
    static constexpr char32_t kMinimum[] = {0, 0x80, 0x800, 0x10000};
    if (cp < kMinimum[extra] || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) {
        ++i;
        return kReplacement;
    }
    i += static_cast<std::size_t>(extra) + 1;
    return cp;
}

bool composesWithNeighbours(char16_t c)
{
    return (c >= 0xD800 && c <= 0xDFFF) || (c >= 0x1100 && c <= 0x11FF) || (c >= 0xA960 && c <= 0xA97F)
        || (c >= 0xD7B0 && c <= 0xD7FF) || QChar(c).combiningClass() != 0;
}

QString foldCharacter(const QLocale& locale, const QString& character)
{
    // Upper then lower case folds together the letters whose lower case has no single upper
    // partner (ß and "ss", the sigmas), as a case-insensitive comparison does.
    return locale.toLower(locale.toUpper(character)).normalized(QString::NormalizationForm_C);
}

std::uint32_t ngramHash(int n, char32_t a, char32_t b, char32_t c)
{
    const std::uint32_t h = (static_cast<std::uint32_t>(a) * 0x9E3779B1u)
        ^ (static_cast<std::uint32_t>(b) * 0x85EBCA77u) ^ (static_cast<std::uint32_t>(c) * 0xC2B2AE3Du)
        ^ (static_cast<std::uint32_t>(n) * 0x27D4EB2Fu);
    return (h ^ (h >> 15) ^ (h >> 27)) & (NgramFilter::kBits - 1);
}

// Calls visit(hash) for every single character, pair and triple of a folded text.
template <typename Visit> void forEachNgram(std::string_view folded, Visit visit)
{
    char32_t a = 0, b = 0;
    std::size_t seen = 0;
    for (std::size_t i = 0; i < folded.size();) {
        const char32_t c = decodeUtf8(folded, i);
        ++seen;
        visit(ngramHash(1, 0, 0, c));
        if (seen >= 2)
            visit(ngramHash(2, 0, b, c));
        if (seen >= 3)
            visit(ngramHash(3, a, b, c));
        a = b;
        b = c;
    }
}

bool contains(std::string_view haystack, std::string_view needle)
{
    return ::memmem(haystack.data(), haystack.size(), needle.data(), needle.size()) != nullptr;
}

} // namespace

SearchFolder::SearchFolder(const QLocale& locale)
    : m_locale(locale)
    , m_table(std::make_unique<std::array<Mapping, 0x10000>>())
{
}

const SearchFolder::Mapping& SearchFolder::computeMapping(char16_t c)
{
    Mapping& entry = (*m_table)[c];
    entry.known = true;
    entry.needsContext = composesWithNeighbours(c);
    const QString folded = foldCharacter(m_locale, QString(QChar(c)));
    const QByteArray bytes = folded.toUtf8();
    const QList<uint> points = folded.toUcs4();
    if (static_cast<std::size_t>(bytes.size()) > sizeof(entry.bytes) || points.size() > 3) {
        entry.needsContext = true;
        return entry;
    }
    entry.length = static_cast<std::uint8_t>(bytes.size());
    std::memcpy(entry.bytes, bytes.constData(), static_cast<std::size_t>(bytes.size()));
    entry.pointCount = static_cast<std::uint8_t>(points.size());
    for (qsizetype k = 0; k < points.size(); ++k)
        entry.points[k] = points[k];
    return entry;
}

std::string SearchFolder::fold(std::string_view utf8, NgramFilter* filter)
{
    std::string out;
    out.resize(utf8.size() + 16);
    std::size_t length = 0;
    const auto* bytes = reinterpret_cast<const unsigned char*>(utf8.data());
    for (std::size_t i = 0; i < utf8.size();) {
        char32_t cp;
        // The common one- and two-byte sequences inline, everything else through the decoder.
        if (bytes[i] < 0x80) {
            cp = bytes[i++];
        } else if ((bytes[i] & 0xE0) == 0xC0 && bytes[i] >= 0xC2 && i + 1 < utf8.size()
            && (bytes[i + 1] & 0xC0) == 0x80) {
            cp = (static_cast<char32_t>(bytes[i] & 0x1F) << 6) | (bytes[i + 1] & 0x3F);
            i += 2;
        } else {
            cp = decodeUtf8(utf8, i);
        }
        if (cp > 0xFFFF)
            return foldSlowly(utf8, filter);
        const Mapping& entry = mapping(static_cast<char16_t>(cp));
        if (entry.needsContext)
            return foldSlowly(utf8, filter);
        if (length + entry.length > out.size())
            out.resize(out.size() * 2 + entry.length);
        std::memcpy(out.data() + length, entry.bytes, entry.length);
        length += entry.length;
    }
    out.resize(length);
    if (filter)
        filter->add(out);
    return out;
}

std::string SearchFolder::foldSlowly(std::string_view utf8, NgramFilter* filter)
{
    // Compose first so that a letter and its combining mark fold as the one letter they are,
    // then fold character by character and compose what the folding decomposed.
    const QString composed
        = QString::fromUtf8(utf8.data(), static_cast<qsizetype>(utf8.size())).normalized(QString::NormalizationForm_C);
    QString folded;
    folded.reserve(composed.size());
    for (qsizetype i = 0; i < composed.size(); ++i) {
        const QChar c = composed[i];
        if (c.isHighSurrogate() && i + 1 < composed.size() && composed[i + 1].isLowSurrogate()) {
            folded += foldCharacter(m_locale, composed.mid(i, 2));
            ++i;
        } else {
            folded += foldCharacter(m_locale, QString(c));
        }
    }
    std::string out = folded.normalized(QString::NormalizationForm_C).toStdString();
    if (filter)
        filter->add(out);
    return out;
}

void NgramFilter::add(std::string_view foldedUtf8)
{
    forEachNgram(foldedUtf8, [this](std::uint32_t hash) { m_words[hash / 64] |= std::uint64_t{1} << (hash % 64); });
}

bool NgramFilter::mayContain(const std::vector<std::uint32_t>& queryHashes) const
{
    for (const std::uint32_t hash : queryHashes)
        if (!(m_words[hash / 64] & (std::uint64_t{1} << (hash % 64))))
            return false;
    return true;
}

std::vector<std::uint32_t> NgramFilter::hashesOf(std::string_view foldedUtf8)
{
    std::vector<std::uint32_t> out;
    forEachNgram(foldedUtf8, [&](std::uint32_t hash) { out.push_back(hash); });
    return out;
}

std::string_view NgramFilter::bytes() const
{
    return {reinterpret_cast<const char*>(m_words.data()), kBytes};
}

std::optional<NgramFilter> NgramFilter::fromBytes(std::string_view bytes)
{
    if (bytes.size() != kBytes)
        return std::nullopt;
    NgramFilter filter;
    std::memcpy(filter.m_words.data(), bytes.data(), kBytes);
    return filter;
}

namespace {

namespace fs = std::filesystem;

// Raised whenever the table or the folding changes.
constexpr int kIndexVersion = 1;

constexpr const char* kIndexSchema = R"(
CREATE TABLE IF NOT EXISTS entries(
    row INTEGER PRIMARY KEY,
    id BLOB NOT NULL UNIQUE,
    source BLOB NOT NULL,
    filter BLOB NOT NULL,
    split INTEGER NOT NULL,
    text BLOB NOT NULL
);
PRAGMA user_version = 1;
)";

bool openIndex(SqliteDatabase& db, const fs::path& file)
{
    if (!db.open(file) && !db.reset())
        return false;
    if (db.userVersion() == kIndexVersion)
        return true;
    return (db.exec("DROP TABLE IF EXISTS entries") || db.reset()) && db.exec(kIndexSchema);
}

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
    std::int64_t row = 0;
    // The folded transcript text is [0, split) of the row's text, the folded summary the rest.
    std::size_t split = 0;
    std::size_t size = 0;
    NgramFilter filter;
};

struct SearchIndex::Shared {
    struct Job {
        Uuid id;
        std::string source;
        std::optional<fs::path> transcript;
        std::optional<std::string> summary;
    };

    fs::path file;
    std::mutex mutex;
    std::condition_variable_any wake;
    // Set by prepare(), taken by the worker.
    std::optional<std::vector<Job>> wanted;
    QLocale locale;
    // Built by the worker, taken by collect().
    std::vector<std::pair<Uuid, std::unique_ptr<Entry>>> done;
    std::atomic<std::size_t> indexed{0};
    std::atomic<std::size_t> total{0};
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
        m_stale = true;
    }
    collect();
    if (!m_stale)
        return;
    m_stale = false;
    // Opened here, not in the middle of a keystroke.
    if (!m_db->isOpen())
        m_db->open(m_shared->file);
    std::unordered_map<Uuid, std::string> sources;
    std::vector<Shared::Job> jobs;
    bool sameSources = recordings.size() == m_sources.size();
    for (const Recording& recording : recordings) {
        std::string source = sourceOf(recording, locale);
        const auto known = m_sources.find(recording.id);
        sameSources = sameSources && known != m_sources.end() && known->second == source;
        jobs.push_back(
            {recording.id, source, recording.transcript ? std::optional(recording.transcriptURL) : std::nullopt,
                recording.summary ? std::optional(recording.summary->text) : std::nullopt});
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
    m_sources = std::move(sources);
    {
        std::lock_guard lock(m_shared->mutex);
        m_shared->wanted = std::move(jobs);
        m_shared->locale = locale;
        m_shared->total = m_sources.size();
        m_shared->indexed = 0;
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
        if (wanted != m_sources.end() && wanted->second == entry->source)
            m_entries[id] = std::move(entry);
    }
    return !done.empty();
}

SearchIndex::Progress SearchIndex::progress() const
{
    return {m_entries.size(), m_sources.size()};
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

bool SearchIndex::matches(
    const Recording& recording, std::string_view foldedQuery, const std::vector<std::uint32_t>& hashes)
{
    const auto name = m_names.find(recording.id);
    if (name != m_names.end() ? contains(name->second, foldedQuery)
                              : contains(m_folder->fold(recording.name), foldedQuery))
        return true;
    const auto found = m_entries.find(recording.id);
    if (found == m_entries.end()) {
        // Not indexed yet: the summary is at hand, the transcript is not.
        return recording.summary && contains(m_folder->fold(recording.summary->text), foldedQuery);
    }
    const Entry& entry = *found->second;
    if (!entry.filter.mayContain(hashes))
        return false;
    if (recording.transcript && contains(entry.head, foldedQuery))
        return true;
    return (recording.transcript && textContains(entry, foldedQuery, false))
        || (recording.summary && textContains(entry, foldedQuery, true));
}

bool SearchIndex::textContains(const Entry& entry, std::string_view foldedQuery, bool summary)
{
    // The transcript's head was looked at already; a match may still begin inside it.
    const std::size_t headTail
        = entry.head.size() >= foldedQuery.size() ? entry.head.size() - foldedQuery.size() + 1 : 0;
    const std::size_t begin = summary ? entry.split : headTail;
    const std::size_t end = summary ? entry.size : entry.split;
    if (foldedQuery.empty() || end - begin < foldedQuery.size())
        return foldedQuery.empty();
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
            return false;
        }
    }
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
            return false;
        if (contains(window, foldedQuery))
            return true;
        position += count;
        chunk = std::min<std::size_t>(chunk * 4, 1 << 20);
    }
    return false;
}

void SearchIndex::finishSearch()
{
    m_blob = std::make_unique<Blob>();
}

void SearchIndex::runWorker(const std::shared_ptr<Shared>& shared, std::stop_token stop)
{
    SqliteDatabase db;
    bool opened = false;
    std::unordered_map<Uuid, Entry> stored;
    std::unique_ptr<SearchFolder> folder;
    json::dom::parser parser;
    json::PaddedText text;
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
            if (openIndex(db, shared->file)) {
                SqliteStatement rows(db,
                    "SELECT id, source, filter, split, length(text), row, substr(text, 1, "
                        + std::to_string(Entry::kHeadBytes) + ") FROM entries");
                while (rows.step()) {
                    const auto id = Uuid::parse(rows.bytes(0));
                    auto filter = NgramFilter::fromBytes(rows.bytes(2));
                    if (!id || !filter || !rows.isInteger(3) || !rows.isInteger(4) || !rows.isInteger(5))
                        continue;
                    Entry entry;
                    entry.source = std::string(rows.bytes(1));
                    entry.filter = *filter;
                    entry.split = static_cast<std::size_t>(std::max<std::int64_t>(0, rows.integer(3)));
                    entry.size = static_cast<std::size_t>(std::max<std::int64_t>(0, rows.integer(4)));
                    entry.row = rows.integer(5);
                    entry.head = std::string(rows.bytes(6).substr(0, entry.split));
                    if (entry.split <= entry.size)
                        stored.emplace(*id, std::move(entry));
                }
            }
        }
        if (!folder || folder->locale() != locale)
            folder = std::make_unique<SearchFolder>(locale);
        SqliteStatement insert(
            db, "INSERT OR REPLACE INTO entries(id, source, filter, split, text) VALUES(?1, ?2, ?3, ?4, ?5)");
        std::unordered_map<Uuid, bool> wantedIDs;
        bool interrupted = false;
        for (const auto& job : jobs) {
            wantedIDs.emplace(job.id, true);
            if (stop.stop_requested())
                return;
            {
                std::lock_guard lock(shared->mutex);
                interrupted = shared->wanted.has_value();
            }
            if (interrupted)
                break;
            auto entry = std::make_unique<Entry>();
            if (const auto known = stored.find(job.id); known != stored.end() && known->second.source == job.source) {
                *entry = known->second;
            } else {
                std::string plain;
                if (job.transcript && text.readFile(*job.transcript, std::uintmax_t{256} << 20))
                    if (const auto transcript = json::decodeObject(parser, text, json::decodeTranscript))
                        plain = transcript->plainText();
                std::string folded = folder->fold(plain, &entry->filter);
                entry->split = folded.size();
                entry->head = folded.substr(0, Entry::kHeadBytes);
                if (job.summary)
                    folded += folder->fold(*job.summary, &entry->filter);
                entry->size = folded.size();
                entry->source = job.source;
                insert.bind(1, std::string_view(job.id.toString()));
                insert.bind(2, std::string_view(job.source));
                insert.bind(3, entry->filter.bytes());
                insert.bind(4, static_cast<std::int64_t>(entry->split));
                insert.bind(5, std::string_view(folded));
                const bool written = insert.step(), failed = insert.error();
                (void)written;
                insert.reset();
                if (failed)
                    continue;
                entry->row = sqlite3_last_insert_rowid(db.handle());
                stored[job.id] = *entry;
            }
            std::lock_guard lock(shared->mutex);
            shared->done.emplace_back(job.id, std::move(entry));
            ++shared->indexed;
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
