// The library's cache file as the store finds it on disk: any bytes at all. Read from memory, as
// the store reads the file.
#include "common/Sqlite.h"
#include "model/LibraryCache.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    using namespace palaverly;
    SqliteDatabase db;
    if (!db.openImage({reinterpret_cast<const char*>(data), size}))
        return 0;
    for (const auto& [folder, entry] : LibraryCache::read(db))
        (void)entry.recording.name.size();
    return 0;
}
