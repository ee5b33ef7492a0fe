#include "TempLibrary.h"

#include "model/RecordingStore.h"

#include <fstream>
#include <sstream>
#include <stdexcept>

namespace palaverly::test {

namespace fs = std::filesystem;

TempLibrary::TempLibrary()
    : m_base(fs::path(m_dir.path().toStdString()) / "palaverly" / "recordings")
{
    if (!m_dir.isValid())
        throw std::runtime_error("cannot create a temporary folder");
}

fs::path TempLibrary::folderOf(const RecordingMeta& meta) const
{
    return m_base / folderName(meta.kind) / meta.id.toString();
}

fs::path TempLibrary::addRecording(const RecordingMeta& meta, bool withAudio) const
{
    const fs::path folder = folderOf(meta);
    fs::create_directories(folder);
    writeFile(folder / "meta.json", RecordingStore::encode(meta.toJson()));
    if (withAudio)
        writeFile(folder / "audio.wav", "RIFF");
    return folder;
}

RecordingMeta TempLibrary::meta(const std::string& name, RecordingKind kind, int secondsAgo)
{
    const Timestamp reference = parseIsoDate("2026-03-05T09:41:07Z").value();
    return RecordingMeta{Uuid::generate(), name, reference - std::chrono::seconds(secondsAgo), 0, kind};
}

void TempLibrary::writeFile(const fs::path& path, const std::string& bytes)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << bytes;
    if (!out)
        throw std::runtime_error("cannot write " + path.string());
}

std::string TempLibrary::readFile(const fs::path& path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream buffer;
    buffer << in.rdbuf();
    return buffer.str();
}

} // namespace palaverly::test
