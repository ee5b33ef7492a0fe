#include "model/RecordingStore.h"

#include "common/AtomicFile.h"
#include "common/Log.h"
#include "common/Text.h"
#include "model/JsonCoding.h"
#include "model/LibraryCache.h"
#include "model/RecordDecoding.h"

#include <QStandardPaths>
#include <algorithm>
#include <atomic>
#include <cerrno>

Q_LOGGING_CATEGORY(lcRecordingStore, "RecordingStore")

namespace palaverly {

namespace fs = std::filesystem;

namespace {

// Upper bounds for reading; anything larger is not one of our files.
constexpr std::uintmax_t kMaxMetaBytes = 1 << 20;
constexpr std::uintmax_t kMaxSummaryBytes = 16 << 20;
constexpr std::uintmax_t kMaxTranscriptBytes = 256 << 20;

std::string corruptFileText(const fs::path& path)
{
    return "Файл «" + path.filename().string() + "» повреждён";
}

// Reads and decodes one JSON file; on failure `error` says why.
template <typename T>
std::optional<T> readRecord(const fs::path& path, std::uintmax_t maxBytes, std::string* error = nullptr)
{
    errno = 0;
    const auto bytes = readSmallFile(path, maxBytes);
    if (!bytes) {
        if (error)
            *error = errno ? fileErrorText("прочитать файл", path, errno) : corruptFileText(path);
        return std::nullopt;
    }
    auto record = T::fromJson(*bytes);
    if (!record && error)
        *error = corruptFileText(path);
    return record;
}

// Reads recording folders with a parser and a buffer of its own, so that one per thread can run.
class FolderDecoder {
public:
    // The recording in `folder`, whose files had `stamp` before they were read.
    std::optional<Recording> decode(const fs::path& folder, const FolderStamp& stamp)
    {
        if (!stamp.meta.exists)
            return std::nullopt;
        Recording recording = inFolder(folder);
        const auto meta = read(recording.metaURL(), kMaxMetaBytes, json::decodeMeta);
        if (!meta)
            return std::nullopt;
        recording.id = meta->id;
        recording.name = std::move(meta->name);
        recording.createdAt = meta->createdAt;
        recording.duration = meta->duration;
        recording.kind = meta->kind;
        if (stamp.transcript.exists) {
            recording.transcript = read(recording.transcriptURL(), kMaxTranscriptBytes, json::decodeTranscriptInfo);
            if (recording.transcript)
                recording.transcript->file = stamp.transcript;
        }
        if (stamp.summary.exists)
            recording.summary = read(recording.summaryURL(), kMaxSummaryBytes, json::decodeSummary);
        return recording;
    }

    // A recording of `folder` with only its folder set.
    static Recording inFolder(const fs::path& folder)
    {
        Recording recording;
        recording.directory = folder.native();
        return recording;
    }

private:
    template <typename Decode>
    auto read(const fs::path& path, std::uintmax_t maxBytes, Decode decode)
        -> decltype(decode(std::declval<json::dom::object>()))
    {
        if (!m_text.readFile(path, maxBytes))
            return std::nullopt;
        return json::decodeObject(m_parser, m_text, decode);
    }

    json::dom::parser m_parser;
    json::PaddedText m_text;
};

// Decodes `folders` into `out` (same order) on up to four threads.
void decodeFolders(const std::vector<std::pair<fs::path, FolderStamp>>& folders,
    std::vector<std::optional<Recording>>& out, std::stop_token stop)
{
    out.resize(folders.size());
    std::atomic<std::size_t> next{0};
    const auto work = [&] {
        FolderDecoder decoder;
        for (std::size_t i = next++; i < folders.size() && !stop.stop_requested(); i = next++)
            out[i] = decoder.decode(folders[i].first, folders[i].second);
    };
    const unsigned threads = folders.size() < 16 ? 1 : std::clamp(std::thread::hardware_concurrency(), 1u, 4u);
    std::vector<std::jthread> helpers;
    for (unsigned t = 1; t < threads; ++t)
        helpers.emplace_back(work);
    work();
}

QString idText(const Uuid& id)
{
    return QString::fromStdString(id.toString());
}

void logFailure(const char* operation, const Uuid& id, const std::string& error)
{
    log::error(lcRecordingStore(),
        QStringLiteral("%1 failed (%2): %3").arg(QLatin1String(operation), idText(id), QString::fromStdString(error)));
}

} // namespace

RecordingStore::RecordingStore(fs::path baseDirectory, InitialScan initialScan, fs::path cacheFile, QObject* parent)
    : QObject(parent)
    , m_baseDirectory(std::move(baseDirectory))
    , m_cacheFile(std::move(cacheFile))
{
    for (const RecordingKind kind : kRecordingKinds) {
        std::error_code ignored;
        fs::create_directories(m_baseDirectory / folderName(kind), ignored);
    }
    auto cache = m_cacheFile.empty() ? nullptr : std::make_shared<LibraryCache>(m_cacheFile);
    if (initialScan == InitialScan::now) {
        ++m_generation;
        bool changed = false;
        Snapshot first = rescan(m_baseDirectory, Snapshot{}, changed, cache.get());
        m_recordings = std::move(first.recordings);
        m_stamps = std::move(first.stamps);
        return;
    }
    // A large library takes a while to decode; start-up does not wait for it. A reload on the
    // main thread before the worker is done makes its result stale, and it is dropped.
    const std::uint64_t generation = m_generation;
    m_initialScan = std::jthread([this, generation, base = m_baseDirectory, cache](std::stop_token stop) {
        bool changed = false;
        auto snapshot = std::make_shared<Snapshot>(rescan(base, Snapshot{}, changed, cache.get(), stop));
        if (stop.stop_requested())
            return;
        QMetaObject::invokeMethod(
            this,
            [this, generation, snapshot] {
                if (generation != m_generation)
                    return;
                ++m_generation;
                const bool differs = snapshot->recordings != m_recordings;
                m_recordings = std::move(snapshot->recordings);
                m_stamps = std::move(snapshot->stamps);
                if (differs)
                    emit recordingsChanged();
            },
            Qt::QueuedConnection);
    });
}

RecordingStore::~RecordingStore()
{
    // Stop and join the initial scan before any member goes away.
    if (m_initialScan.joinable()) {
        m_initialScan.request_stop();
        m_initialScan.join();
    }
}

fs::path RecordingStore::defaultBaseDirectory()
{
    const QString data = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation);
    return fs::path(data.toStdString()) / "palaverly" / "recordings";
}

fs::path RecordingStore::defaultCacheFile()
{
    const QString cache = QStandardPaths::writableLocation(QStandardPaths::GenericCacheLocation);
    return fs::path(cache.toStdString()) / "palaverly" / "library.sqlite";
}

std::string RecordingStore::encode(const nlohmann::json& value)
{
    return json::encodePretty(value);
}

fs::path RecordingStore::recordingFolder(RecordingKind kind, const Uuid& id) const
{
    return m_baseDirectory / folderName(kind) / id.toString();
}

const Recording* RecordingStore::recording(const Uuid& id) const
{
    const auto it
        = std::find_if(m_recordings.begin(), m_recordings.end(), [&](const Recording& r) { return r.id == id; });
    return it == m_recordings.end() ? nullptr : &*it;
}

std::shared_ptr<const Transcript> RecordingStore::transcript(const Recording& recording) const
{
    if (!recording.transcript)
        return nullptr;
    const auto kept = [&](const FileStamp& stamp) {
        const auto known = std::find_if(
            m_transcripts.begin(), m_transcripts.end(), [&](const auto& entry) { return entry.first == stamp; });
        if (known == m_transcripts.end())
            return false;
        std::rotate(m_transcripts.begin(), known, known + 1);
        return true;
    };
    // The version the recording describes, when it was read already (even if the file has changed
    // or gone since), else what the file holds now.
    if (kept(recording.transcript->file))
        return m_transcripts.front().second;
    const FileStamp stamp = FileStamp::of(recording.transcriptURL());
    if (!stamp.exists)
        return nullptr;
    if (kept(stamp))
        return m_transcripts.front().second;
    auto decoded = readRecord<Transcript>(recording.transcriptURL(), kMaxTranscriptBytes);
    if (!decoded)
        return nullptr;
    auto shared = std::make_shared<const Transcript>(std::move(*decoded));
    // The detail of one recording and a job of another.
    constexpr std::size_t kKept = 2;
    m_transcripts.insert(m_transcripts.begin(), {stamp, shared});
    if (m_transcripts.size() > kKept)
        m_transcripts.pop_back();
    return shared;
}

void RecordingStore::reload()
{
    ++m_generation;
    bool changed = false;
    Snapshot next = rescan(m_baseDirectory, Snapshot{std::move(m_recordings), std::move(m_stamps)}, changed);
    m_recordings = std::move(next.recordings);
    m_stamps = std::move(next.stamps);
    if (changed)
        emit recordingsChanged();
}

RecordingStore::Snapshot RecordingStore::rescan(
    const fs::path& base, Snapshot previous, bool& changed, LibraryCache* cache, std::stop_token stop)
{
    std::vector<fs::path> folders;
    for (const RecordingKind kind : kRecordingKinds) {
        auto part = scan(base / folderName(kind), false);
        std::move(part.begin(), part.end(), std::back_inserter(folders));
    }
    auto older = scan(base, true);
    std::move(older.begin(), older.end(), std::back_inserter(folders));

    std::map<std::string, size_t> previousIndex;
    std::vector<std::string> previousOrder;
    for (size_t i = 0; i < previous.recordings.size(); ++i) {
        previousIndex.emplace(previous.recordings[i].directory, i);
        previousOrder.push_back(previous.recordings[i].directory);
    }
    auto cached = cache ? cache->load() : std::map<fs::path, LibraryCache::Entry>{};

    // Each folder's recording: kept from the previous list, taken from the cache, or decoded.
    std::vector<std::optional<Recording>> found(folders.size());
    std::vector<FolderStamp> stamps(folders.size());
    std::vector<std::pair<fs::path, FolderStamp>> toDecode;
    std::vector<std::size_t> decodedSlots;
    changed = false;
    for (std::size_t i = 0; i < folders.size(); ++i) {
        if (stop.stop_requested())
            return {};
        const fs::path& folder = folders[i];
        stamps[i] = FolderStamp::of(folder);
        const auto known = previousIndex.find(folder.native());
        const auto stamp = previous.stamps.find(folder.native());
        if (known != previousIndex.end() && stamp != previous.stamps.end() && stamp->second == stamps[i]) {
            // Each folder appears once, so an old entry is moved at most once.
            found[i] = std::move(previous.recordings[known->second]);
            continue;
        }
        if (const auto entry = cached.find(folder); entry != cached.end() && entry->second.stamp == stamps[i]) {
            Recording recording = FolderDecoder::inFolder(folder);
            Recording& stored = entry->second.recording;
            recording.id = stored.id;
            recording.name = std::move(stored.name);
            recording.createdAt = stored.createdAt;
            recording.duration = stored.duration;
            recording.kind = stored.kind;
            recording.transcript = std::move(stored.transcript);
            recording.summary = std::move(stored.summary);
            changed = changed || known == previousIndex.end() || !(recording == previous.recordings[known->second]);
            found[i] = std::move(recording);
            continue;
        }
        toDecode.emplace_back(folder, stamps[i]);
        decodedSlots.push_back(i);
    }
    std::vector<std::optional<Recording>> decoded;
    decodeFolders(toDecode, decoded, stop);
    if (stop.stop_requested())
        return {};

    std::vector<std::pair<fs::path, LibraryCache::Entry>> cacheChanges;
    for (std::size_t k = 0; k < decoded.size(); ++k) {
        const std::size_t i = decodedSlots[k];
        if (!decoded[k])
            continue;
        const auto known = previousIndex.find(folders[i].native());
        changed = changed || known == previousIndex.end() || !(*decoded[k] == previous.recordings[known->second]);
        if (cache)
            cacheChanges.push_back({folders[i], LibraryCache::Entry{stamps[i], *decoded[k]}});
        found[i] = std::move(decoded[k]);
    }

    Snapshot next;
    for (std::size_t i = 0; i < folders.size(); ++i) {
        if (!found[i])
            continue;
        next.recordings.push_back(std::move(*found[i]));
        next.stamps.emplace(folders[i].native(), stamps[i]);
    }
    if (cache) {
        std::vector<fs::path> gone;
        for (const auto& [folder, entry] : cached)
            if (!next.stamps.count(folder.native()))
                gone.push_back(folder);
        cache->update(cacheChanges, gone);
    }
    std::stable_sort(next.recordings.begin(), next.recordings.end(),
        [](const Recording& a, const Recording& b) { return a.createdAt > b.createdAt; });
    // Same folders in the same order, none decoded differently: the list is equal to the old one.
    changed = changed || next.recordings.size() != previousOrder.size()
        || !std::equal(next.recordings.begin(), next.recordings.end(), previousOrder.begin(),
            [](const Recording& a, const std::string& b) { return a.directory == b; });
    return next;
}

std::vector<fs::path> RecordingStore::scan(const fs::path& folder, bool skipKindFolders)
{
    std::vector<fs::path> entries;
    std::error_code ec;
    for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
        const std::string name = it->path().filename().string();
        if (name.empty() || name.front() == '.')
            continue;
        std::error_code typeError;
        if (!it->is_directory(typeError) || typeError)
            continue;
        if (skipKindFolders && (name == "meetings" || name == "notes"))
            continue;
        entries.push_back(it->path());
    }
    // Listing order is the file system's; sort so that equal dates keep a stable order.
    std::sort(entries.begin(), entries.end());
    return entries;
}

void RecordingStore::rename(const Recording& recording, const std::string& newName)
{
    const std::string name = trimmedWhitespace(newName);
    if (name.empty())
        return;
    std::string error;
    auto meta = readRecord<RecordingMeta>(recording.metaURL(), kMaxMetaBytes, &error);
    if (!meta) {
        logFailure("rename", recording.id, error);
        return;
    }
    meta->name = name;
    if (const auto failure = writeFileAtomically(recording.metaURL(), encode(meta->toJson()))) {
        logFailure("rename", recording.id, *failure);
        return;
    }
    reload();
}

void RecordingStore::updateDuration(const Uuid& id, RecordingKind kind, double duration)
{
    const fs::path path = recordingFolder(kind, id) / "meta.json";
    std::string error;
    auto meta = readRecord<RecordingMeta>(path, kMaxMetaBytes, &error);
    if (!meta) {
        logFailure("updateDuration", id, error);
        return;
    }
    meta->duration = duration;
    if (const auto failure = writeFileAtomically(path, encode(meta->toJson())))
        logFailure("updateDuration", id, *failure);
}

void RecordingStore::deleteRecordings(const std::set<Uuid>& ids)
{
    if (ids.empty())
        return;
    std::vector<Recording> targets;
    for (const auto& recording : m_recordings)
        if (ids.count(recording.id))
            targets.push_back(recording);
    for (const auto& recording : targets) {
        std::error_code ec;
        // remove_all does not follow symbolic links: a linked folder loses the link only.
        fs::remove_all(recording.directoryURL(), ec);
        if (ec)
            logFailure("delete", recording.id, fileErrorText("удалить папку", recording.directoryURL(), ec.value()));
    }
    reload();
}

void RecordingStore::renameSpeaker(const Recording& recording, const std::string& speaker, const std::string& name)
{
    const auto held = transcript(recording);
    if (!held)
        return;
    Transcript edited = *held;
    auto labels = edited.speakerLabels.value_or(std::map<std::string, std::string>{});
    const std::string trimmed = trimmedWhitespace(name);
    if (trimmed.empty())
        labels.erase(speaker);
    else
        labels[speaker] = trimmed;
    edited.speakerLabels = labels.empty() ? std::nullopt : std::optional(std::move(labels));
    writeTranscript(recording, edited, "renameSpeaker");
}

void RecordingStore::mergeSpeaker(const Recording& recording, const std::string& from, const std::string& into)
{
    if (from == into)
        return;
    const auto held = transcript(recording);
    if (!held || !held->segments || held->segments->empty())
        return;
    Transcript edited = *held;
    std::set<std::string> speakers;
    for (auto& segment : *edited.segments) {
        if (segment.speaker == from)
            segment.speaker = into;
        speakers.insert(segment.speaker);
    }
    auto labels = edited.speakerLabels.value_or(std::map<std::string, std::string>{});
    std::optional<std::string> movedName;
    if (const auto it = labels.find(from); it != labels.end()) {
        movedName = it->second;
        labels.erase(it);
    }
    if (!labels.count(into) && movedName && !movedName->empty())
        labels[into] = *movedName;
    edited.speakerLabels = labels.empty() ? std::nullopt : std::optional(std::move(labels));
    edited.numSpeakers = static_cast<long long>(speakers.size());
    writeTranscript(recording, edited, "mergeSpeaker");
}

void RecordingStore::writeTranscript(const Recording& recording, const Transcript& transcript, const char* operation)
{
    if (const auto failure = writeFileAtomically(recording.transcriptURL(), encode(transcript.toJson()))) {
        logFailure(operation, recording.id, *failure);
        return;
    }
    reload();
}

} // namespace palaverly
