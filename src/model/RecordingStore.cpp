#include "model/RecordingStore.h"

#include "common/AtomicFile.h"
#include "common/Log.h"
#include "common/Text.h"
#include "model/JsonCoding.h"

#include <QStandardPaths>
#include <algorithm>
#include <cerrno>
#include <nlohmann/json.hpp>
#include <sys/stat.h>

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
    const auto document = json::parse(*bytes);
    auto record = document ? T::fromJson(*document) : std::nullopt;
    if (!record && error)
        *error = corruptFileText(path);
    return record;
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

RecordingStore::RecordingStore(fs::path baseDirectory, InitialScan initialScan, QObject* parent)
    : QObject(parent)
    , m_baseDirectory(std::move(baseDirectory))
{
    for (const RecordingKind kind : kRecordingKinds) {
        std::error_code ignored;
        fs::create_directories(m_baseDirectory / folderName(kind), ignored);
    }
    if (initialScan == InitialScan::now) {
        reload();
        return;
    }
    // A large library takes a while to decode; start-up does not wait for it. A reload on the
    // main thread before the worker is done makes its result stale, and it is dropped.
    const std::uint64_t generation = m_generation;
    m_initialScan = std::jthread([this, generation, base = m_baseDirectory](std::stop_token stop) {
        bool changed = false;
        auto snapshot = std::make_shared<Snapshot>(rescan(base, Snapshot{}, changed, stop));
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
    const fs::path& base, Snapshot previous, bool& changed, std::stop_token stop)
{
    std::vector<fs::path> folders;
    for (const RecordingKind kind : kRecordingKinds) {
        auto part = scan(base / folderName(kind), false);
        std::move(part.begin(), part.end(), std::back_inserter(folders));
    }
    auto older = scan(base, true);
    std::move(older.begin(), older.end(), std::back_inserter(folders));

    std::map<fs::path, size_t> previousIndex;
    std::vector<fs::path> previousOrder;
    for (size_t i = 0; i < previous.recordings.size(); ++i) {
        previousIndex.emplace(previous.recordings[i].directoryURL, i);
        previousOrder.push_back(previous.recordings[i].directoryURL);
    }

    changed = false;
    Snapshot next;
    for (const auto& folder : folders) {
        if (stop.stop_requested())
            return next;
        const FolderStamp stamp = stampOf(folder);
        const auto known = previousIndex.find(folder);
        const bool wasListed = known != previousIndex.end();
        if (wasListed && previous.stamps.count(folder) && previous.stamps.at(folder) == stamp) {
            // Each folder appears once, so an old entry is moved at most once.
            next.recordings.push_back(std::move(previous.recordings[known->second]));
            next.stamps.emplace(folder, stamp);
            continue;
        }
        if (auto recording = load(folder)) {
            changed = changed || !wasListed || !(*recording == previous.recordings[known->second]);
            next.recordings.push_back(std::move(*recording));
            next.stamps.emplace(folder, stamp);
        }
    }
    std::stable_sort(next.recordings.begin(), next.recordings.end(),
        [](const Recording& a, const Recording& b) { return a.createdAt > b.createdAt; });
    // Same folders in the same order, none decoded differently: the list is equal to the old one.
    changed = changed || next.recordings.size() != previousOrder.size()
        || !std::equal(next.recordings.begin(), next.recordings.end(), previousOrder.begin(),
            [](const Recording& a, const fs::path& b) { return a.directoryURL == b; });
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

RecordingStore::FolderStamp RecordingStore::stampOf(const fs::path& folder)
{
    const auto stampFile = [](const fs::path& path) {
        FileStamp stamp;
        struct stat info { };
        if (::stat(path.c_str(), &info) != 0)
            return stamp;
        stamp.exists = true;
        stamp.device = info.st_dev;
        stamp.inode = info.st_ino;
        stamp.size = static_cast<unsigned long long>(info.st_size);
        stamp.changedSeconds = info.st_ctim.tv_sec;
        stamp.changedNanoseconds = info.st_ctim.tv_nsec;
        stamp.modifiedSeconds = info.st_mtim.tv_sec;
        stamp.modifiedNanoseconds = info.st_mtim.tv_nsec;
        return stamp;
    };
    return {stampFile(folder / "meta.json"), stampFile(folder / "transcript.json"), stampFile(folder / "summary.json")};
}

std::optional<Recording> RecordingStore::load(const fs::path& folder)
{
    Recording recording;
    recording.directoryURL = folder;
    recording.metaURL = folder / "meta.json";
    recording.audioURL = folder / "audio.wav";
    recording.transcriptURL = folder / "transcript.json";
    recording.summaryURL = folder / "summary.json";

    auto meta = readRecord<RecordingMeta>(recording.metaURL, kMaxMetaBytes);
    if (!meta)
        return std::nullopt;
    recording.id = meta->id;
    recording.name = std::move(meta->name);
    recording.createdAt = meta->createdAt;
    recording.duration = meta->duration;
    recording.kind = meta->kind;
    recording.transcript = readRecord<Transcript>(recording.transcriptURL, kMaxTranscriptBytes);
    recording.summary = readRecord<Summary>(recording.summaryURL, kMaxSummaryBytes);
    return recording;
}

void RecordingStore::rename(const Recording& recording, const std::string& newName)
{
    const std::string name = trimmedWhitespace(newName);
    if (name.empty())
        return;
    std::string error;
    auto meta = readRecord<RecordingMeta>(recording.metaURL, kMaxMetaBytes, &error);
    if (!meta) {
        logFailure("rename", recording.id, error);
        return;
    }
    meta->name = name;
    if (const auto failure = writeFileAtomically(recording.directoryURL / "meta.json", encode(meta->toJson()))) {
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
        fs::remove_all(recording.directoryURL, ec);
        if (ec)
            logFailure("delete", recording.id, fileErrorText("удалить папку", recording.directoryURL, ec.value()));
    }
    reload();
}

void RecordingStore::renameSpeaker(const Recording& recording, const std::string& speaker, const std::string& name)
{
    if (!recording.transcript)
        return;
    Transcript transcript = *recording.transcript;
    auto labels = transcript.speakerLabels.value_or(std::map<std::string, std::string>{});
    const std::string trimmed = trimmedWhitespace(name);
    if (trimmed.empty())
        labels.erase(speaker);
    else
        labels[speaker] = trimmed;
    transcript.speakerLabels = labels.empty() ? std::nullopt : std::optional(std::move(labels));
    writeTranscript(recording, transcript, "renameSpeaker");
}

void RecordingStore::mergeSpeaker(const Recording& recording, const std::string& from, const std::string& into)
{
    if (from == into || !recording.transcript || !recording.transcript->segments
        || recording.transcript->segments->empty())
        return;
    Transcript transcript = *recording.transcript;
    std::set<std::string> speakers;
    for (auto& segment : *transcript.segments) {
        if (segment.speaker == from)
            segment.speaker = into;
        speakers.insert(segment.speaker);
    }
    auto labels = transcript.speakerLabels.value_or(std::map<std::string, std::string>{});
    std::optional<std::string> movedName;
    if (const auto it = labels.find(from); it != labels.end()) {
        movedName = it->second;
        labels.erase(it);
    }
    if (!labels.count(into) && movedName && !movedName->empty())
        labels[into] = *movedName;
    transcript.speakerLabels = labels.empty() ? std::nullopt : std::optional(std::move(labels));
    transcript.numSpeakers = static_cast<long long>(speakers.size());
    writeTranscript(recording, transcript, "mergeSpeaker");
}

void RecordingStore::writeTranscript(const Recording& recording, const Transcript& transcript, const char* operation)
{
    if (const auto failure = writeFileAtomically(recording.transcriptURL, encode(transcript.toJson()))) {
        logFailure(operation, recording.id, *failure);
        return;
    }
    reload();
}

} // namespace palaverly
