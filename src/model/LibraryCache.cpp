#include "model/LibraryCache.h"

#include "common/Log.h"
#include "common/Sqlite.h"

#include <array>
#include <cstring>

Q_LOGGING_CATEGORY(lcLibraryCache, "LibraryCache")

namespace palaverly {

namespace fs = std::filesystem;

namespace {

// Raised whenever the table or the meaning of a column changes.
constexpr int kVersion = 1;

constexpr const char* kSchema = R"(
CREATE TABLE IF NOT EXISTS folders(
    path BLOB PRIMARY KEY,
    stamp BLOB NOT NULL,
    id BLOB NOT NULL,
    name BLOB NOT NULL,
    created INTEGER NOT NULL,
    duration REAL NOT NULL,
    kind INTEGER NOT NULL,
    transcript INTEGER NOT NULL,
    segments INTEGER NOT NULL,
    has_text INTEGER NOT NULL,
    speakers INTEGER,
    preview BLOB NOT NULL,
    summary_model BLOB,
    summary_created INTEGER,
    summary_text BLOB
) WITHOUT ROWID;
PRAGMA user_version = 1;
)";

using StampWords = std::array<std::int64_t, 24>;

void putStamp(const FileStamp& stamp, std::int64_t* words)
{
    const unsigned long long values[] = {stamp.exists, stamp.device, stamp.inode, stamp.size};
    for (int i = 0; i < 4; ++i)
        words[i] = static_cast<std::int64_t>(values[i]);
    words[4] = stamp.changedSeconds;
    words[5] = stamp.changedNanoseconds;
    words[6] = stamp.modifiedSeconds;
    words[7] = stamp.modifiedNanoseconds;
}

FileStamp takeStamp(const std::int64_t* words)
{
    FileStamp stamp;
    stamp.exists = words[0] != 0;
    stamp.device = static_cast<unsigned long long>(words[1]);
    stamp.inode = static_cast<unsigned long long>(words[2]);
    stamp.size = static_cast<unsigned long long>(words[3]);
    stamp.changedSeconds = words[4];
    stamp.changedNanoseconds = words[5];
    stamp.modifiedSeconds = words[6];
    stamp.modifiedNanoseconds = words[7];
    return stamp;
}

// One row back into an entry; nothing when a column has a value the writer never writes.
std::optional<LibraryCache::Entry> readRow(const SqliteStatement& row)
{
    for (int column : {1, 2, 3, 11})
        if (!row.isBlob(column) && !row.isText(column) && !row.isNull(column))
            return std::nullopt;
    for (int column : {4, 6, 7, 8, 9})
        if (!row.isInteger(column))
            return std::nullopt;
    if (!row.isReal(5) && !row.isInteger(5))
        return std::nullopt;
    const std::string_view stampBytes = row.bytes(1);
    if (stampBytes.size() != sizeof(StampWords))
        return std::nullopt;
    StampWords words{};
    std::memcpy(words.data(), stampBytes.data(), sizeof words);
    LibraryCache::Entry entry;
    entry.stamp = {takeStamp(&words[0]), takeStamp(&words[8]), takeStamp(&words[16])};

    Recording& recording = entry.recording;
    const auto id = Uuid::parse(row.bytes(2));
    const std::int64_t kind = row.integer(6);
    if (!id || (kind != 0 && kind != 1))
        return std::nullopt;
    recording.id = *id;
    recording.name = std::string(row.bytes(3));
    recording.createdAt = Timestamp(std::chrono::seconds(row.integer(4)));
    recording.duration = row.real(5);
    recording.kind = kind == 1 ? RecordingKind::note : RecordingKind::meeting;
    if (row.integer(7) != 0) {
        TranscriptInfo info;
        info.file = entry.stamp.transcript;
        info.hasSegments = row.integer(8) != 0;
        info.hasText = row.integer(9) != 0;
        if (row.isInteger(10))
            info.numSpeakers = row.integer(10);
        else if (!row.isNull(10))
            return std::nullopt;
        info.preview = std::string(row.bytes(11));
        recording.transcript = std::move(info);
    }
    if (!row.isNull(12) || !row.isNull(13) || !row.isNull(14)) {
        if (!row.isInteger(13))
            return std::nullopt;
        recording.summary = Summary{
            std::string(row.bytes(12)), Timestamp(std::chrono::seconds(row.integer(13))), std::string(row.bytes(14))};
    }
    return entry;
}

} // namespace

LibraryCache::LibraryCache(fs::path file)
    : m_file(std::move(file))
{
}

std::map<fs::path, LibraryCache::Entry> LibraryCache::load()
{
    SqliteDatabase db;
    if (!db.open(m_file))
        return {};
    return read(db);
}

std::map<fs::path, LibraryCache::Entry> LibraryCache::read(SqliteDatabase& db)
{
    std::map<fs::path, Entry> entries;
    if (db.userVersion() != kVersion)
        return entries;
    SqliteStatement rows(db,
        "SELECT path, stamp, id, name, created, duration, kind, transcript, segments, has_text, speakers, preview, "
        "summary_model, summary_created, summary_text FROM folders");
    while (rows.step())
        if (auto entry = readRow(rows); entry && !rows.bytes(0).empty())
            entries.emplace(fs::path(std::string(rows.bytes(0))), std::move(*entry));
    if (rows.error())
        entries.clear();
    return entries;
}

void LibraryCache::update(const std::vector<std::pair<fs::path, Entry>>& changed, const std::vector<fs::path>& removed)
{
    if (changed.empty() && removed.empty())
        return;
    SqliteDatabase db;
    if (!db.openWithSchema(m_file, kVersion, "folders", kSchema)) {
        // Nothing is lost: the next start reads the recordings' files again.
        if (!m_reportedUnwritable.exchange(true))
            log::error(lcLibraryCache(),
                QStringLiteral("Cannot write the library cache %1; the library is read from its files at every start")
                    .arg(QString::fromStdString(m_file.string())));
        return;
    }
    SqliteTransaction transaction(db);
    SqliteStatement insert(db,
        "INSERT OR REPLACE INTO folders(path, stamp, id, name, created, duration, kind, transcript, segments, "
        "has_text, speakers, preview, summary_model, summary_created, summary_text) "
        "VALUES(?1, ?2, ?3, ?4, ?5, ?6, ?7, ?8, ?9, ?10, ?11, ?12, ?13, ?14, ?15)");
    for (const auto& [folder, entry] : changed) {
        const Recording& recording = entry.recording;
        StampWords words{};
        putStamp(entry.stamp.meta, &words[0]);
        putStamp(entry.stamp.transcript, &words[8]);
        putStamp(entry.stamp.summary, &words[16]);
        insert.bind(1, std::string_view(folder.native()));
        insert.bind(2, std::string_view(reinterpret_cast<const char*>(words.data()), sizeof words));
        insert.bind(3, std::string_view(recording.id.toString()));
        insert.bind(4, std::string_view(recording.name));
        insert.bind(5, static_cast<std::int64_t>(recording.createdAt.time_since_epoch().count()));
        insert.bind(6, recording.duration);
        insert.bind(7, std::int64_t{recording.kind == RecordingKind::note});
        const auto& info = recording.transcript;
        insert.bind(8, std::int64_t{info.has_value()});
        insert.bind(9, std::int64_t{info && info->hasSegments});
        insert.bind(10, std::int64_t{info && info->hasText});
        if (info && info->numSpeakers)
            insert.bind(11, std::int64_t{*info->numSpeakers});
        else
            insert.bindNull(11);
        insert.bind(12, std::string_view(info ? info->preview : std::string()));
        if (const auto& summary = recording.summary) {
            insert.bind(13, std::string_view(summary->model));
            insert.bind(14, static_cast<std::int64_t>(summary->createdAt.time_since_epoch().count()));
            insert.bind(15, std::string_view(summary->text));
        } else {
            insert.bindNull(13);
            insert.bindNull(14);
            insert.bindNull(15);
        }
        insert.step();
        insert.reset();
    }
    SqliteStatement remove(db, "DELETE FROM folders WHERE path = ?1");
    for (const fs::path& folder : removed) {
        remove.bind(1, std::string_view(folder.native()));
        remove.step();
        remove.reset();
    }
    if (insert.error() || remove.error() || !transaction.commit())
        db.reset();
}

} // namespace palaverly
