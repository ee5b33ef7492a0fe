#pragma once

#include "model/FileStamp.h"
#include "model/Recording.h"

#include <atomic>
#include <filesystem>
#include <map>
#include <vector>

namespace palaverly {

class SqliteDatabase;

// What the list knew of each recording folder the last time the library was read, with the stamps
// of the folder's files, in a SQLite file of the cache folder. Start-up takes from it the folders
// whose files have not changed and reads only the others. The JSON files stay the truth: the cache
// may be deleted or damaged at any time, and is then filled again by the next full read.
// Used by one thread at a time.
class LibraryCache {
public:
    struct Entry {
        FolderStamp stamp;
        // Without its paths, which follow from the folder.
        Recording recording;
    };

    explicit LibraryCache(std::filesystem::path file);

    const std::filesystem::path& file() const { return m_file; }
    // Every entry that reads back whole; nothing when the file is missing, of another version or
    // unreadable.
    std::map<std::filesystem::path, Entry> load();
    // The entries of an open cache database, as load() reads them.
    static std::map<std::filesystem::path, Entry> read(SqliteDatabase& db);
    // Writes `changed` and forgets `removed` in one transaction; a file that cannot be written is
    // started afresh. When not even a new file can be made there, logs it (once) and keeps nothing.
    void update(const std::vector<std::pair<std::filesystem::path, Entry>>& changed,
        const std::vector<std::filesystem::path>& removed);

private:
    std::filesystem::path m_file;
    std::atomic<bool> m_reportedUnwritable = false;
};

} // namespace palaverly
