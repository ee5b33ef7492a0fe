#pragma once

#include "model/Recording.h"

#include <QTemporaryDir>
#include <filesystem>
#include <string>

namespace palaverly::test {

// A library folder in a fresh temporary directory, removed with the object, plus helpers that
// lay out recording folders the way the program writes them.
class TempLibrary {
public:
    TempLibrary();

    const std::filesystem::path& base() const { return m_base; }

    // Writes <base>/<kind folder>/<id>/meta.json (and audio.wav when `withAudio`).
    std::filesystem::path addRecording(const RecordingMeta& meta, bool withAudio = true) const;
    // A meta for a new recording, created `secondsAgo` before a fixed reference time.
    static RecordingMeta meta(const std::string& name, RecordingKind kind = RecordingKind::meeting, int secondsAgo = 0);
    std::filesystem::path folderOf(const RecordingMeta& meta) const;

    static void writeFile(const std::filesystem::path& path, const std::string& bytes);
    static std::string readFile(const std::filesystem::path& path);

private:
    QTemporaryDir m_dir;
    std::filesystem::path m_base;
};

} // namespace palaverly::test
