#pragma once

#include "model/FileStamp.h"
#include "model/Recording.h"

#include <QObject>
#include <filesystem>
#include <map>
#include <memory>
#include <nlohmann/json.hpp>
#include <set>
#include <stop_token>
#include <thread>
#include <vector>

namespace palaverly {

class LibraryCache;

// Owns the library folder and the list of recordings read from it. Main thread only.
//
// Layout: <base>/meetings/<UUID>/, <base>/notes/<UUID>/, and recording folders of the older
// layout directly in <base>. A folder is a recording when its meta.json decodes. Every edit
// rewrites the file whole and rescans the folder; failures are logged, never reported.
//
// The list holds what it shows of each transcript (TranscriptInfo), not its turns: transcript()
// reads a whole transcript when a view or a job needs it. A rescan decodes only the folders whose
// files changed since the last one, several at once.
class RecordingStore : public QObject {
    Q_OBJECT

public:
    enum class InitialScan {
        now, // the constructor returns with the list filled
        inBackground, // the list fills (recordingsChanged) once a worker thread has read the library
    };

    // Creates the kind folders (ignoring failures) and scans the library. With a `cacheFile`, the
    // first scan takes the folders whose files have not changed from it and updates it after.
    explicit RecordingStore(std::filesystem::path baseDirectory, InitialScan initialScan = InitialScan::now,
        std::filesystem::path cacheFile = {}, QObject* parent = nullptr);
    ~RecordingStore() override;

    // $XDG_DATA_HOME/palaverly/recordings (by default ~/.local/share/palaverly/recordings).
    static std::filesystem::path defaultBaseDirectory();
    // $XDG_CACHE_HOME/palaverly/library.sqlite.
    static std::filesystem::path defaultCacheFile();

    // How every file of the library is written: pretty-printed, keys sorted.
    static std::string encode(const nlohmann::json& value);

    const std::filesystem::path& baseDirectory() const { return m_baseDirectory; }
    // Empty when the store keeps no cache; other caches of the library go beside it.
    const std::filesystem::path& cacheFile() const { return m_cacheFile; }
    // The folder of a recording under its kind folder (never one of the older layout).
    std::filesystem::path recordingFolder(RecordingKind kind, const Uuid& id) const;
    // Newest first.
    const std::vector<Recording>& recordings() const { return m_recordings; }
    const Recording* recording(const Uuid& id) const;
    // The whole transcript of a recording, read from its transcript.json; null when the recording
    // has none or the file no longer decodes. The last ones read are kept, so the views of one
    // recording and the edits of its speakers read the file once.
    std::shared_ptr<const Transcript> transcript(const Recording& recording) const;

    void reload();
    void rename(const Recording& recording, const std::string& newName);
    // Rewrites meta.json under the kind folder; the caller reloads.
    void updateDuration(const Uuid& id, RecordingKind kind, double duration);
    // Removes the recordings' folders for good (a symbolic link is removed, not its target).
    void deleteRecordings(const std::set<Uuid>& ids);
    // A name of only white space removes the speaker's label.
    void renameSpeaker(const Recording& recording, const std::string& speaker, const std::string& name);
    // Moves every turn of `from` to `into`; `into` takes over from's name unless it has its own.
    void mergeSpeaker(const Recording& recording, const std::string& from, const std::string& into);

signals:
    // The list differs from the previous one.
    void recordingsChanged();

private:
    // The list and the stamps of the folders behind it.
    struct Snapshot {
        std::vector<Recording> recordings;
        std::map<std::string, FolderStamp> stamps;
    };
    // Reads the library, decoding only folders whose stamps differ from `previous` (which it
    // takes apart) and, with a cache, from the cache's. Sets `changed` when the list differs from
    // the previous one. Any thread.
    static Snapshot rescan(const std::filesystem::path& base, Snapshot previous, bool& changed,
        LibraryCache* cache = nullptr, std::stop_token stop = {});
    static std::vector<std::filesystem::path> scan(const std::filesystem::path& folder, bool skipKindFolders);
    void writeTranscript(const Recording& recording, const Transcript& transcript, const char* operation);

    std::filesystem::path m_baseDirectory;
    std::filesystem::path m_cacheFile;
    std::vector<Recording> m_recordings;
    // Stamps of the folders behind m_recordings: a rescan decodes only folders whose files
    // changed since, so an edit does not parse every transcript of the library again.
    std::map<std::string, FolderStamp> m_stamps;
    // Transcripts read last, newest first, with the stamp of the file they came from.
    mutable std::vector<std::pair<FileStamp, std::shared_ptr<const Transcript>>> m_transcripts;
    // Counts rescans on the main thread; a background result older than the last one is dropped.
    std::uint64_t m_generation = 0;
    std::jthread m_initialScan;
};

} // namespace palaverly
