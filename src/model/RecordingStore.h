#pragma once

#include "model/Recording.h"

#include <QObject>
#include <filesystem>
#include <nlohmann/json.hpp>
#include <set>
#include <vector>

namespace palaverly {

// Owns the library folder and the list of recordings read from it. Main thread only.
//
// Layout: <base>/meetings/<UUID>/, <base>/notes/<UUID>/, and recording folders of the older
// layout directly in <base>. A folder is a recording when its meta.json decodes. Every edit
// rewrites the file whole and rescans the folder; failures are logged, never reported.
class RecordingStore : public QObject {
    Q_OBJECT

public:
    // Creates the kind folders (ignoring failures) and scans the library.
    explicit RecordingStore(std::filesystem::path baseDirectory, QObject* parent = nullptr);

    // $XDG_DATA_HOME/palaverly/recordings (by default ~/.local/share/palaverly/recordings).
    static std::filesystem::path defaultBaseDirectory();

    // How every file of the library is written: pretty-printed, keys sorted.
    static std::string encode(const nlohmann::json& value);

    const std::filesystem::path& baseDirectory() const { return m_baseDirectory; }
    // Newest first.
    const std::vector<Recording>& recordings() const { return m_recordings; }
    const Recording* recording(const Uuid& id) const;

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
    std::vector<Recording> scan(const std::filesystem::path& folder, bool skipKindFolders) const;
    std::optional<Recording> load(const std::filesystem::path& folder) const;
    void writeTranscript(const Recording& recording, const Transcript& transcript, const char* operation);

    std::filesystem::path m_baseDirectory;
    std::vector<Recording> m_recordings;
};

} // namespace palaverly
