// The library's cache file as the store finds it on disk: any bytes at all.
#include "model/LibraryCache.h"

#include <cstdio>
#include <fstream>
#include <unistd.h>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    using namespace palaverly;
    static const std::filesystem::path file
        = std::filesystem::temp_directory_path() / ("palaverly-fuzz-cache-" + std::to_string(::getpid()) + ".sqlite");
    for (const char* suffix : {"", "-wal", "-shm"})
        std::remove((file.string() + suffix).c_str());
    std::ofstream(file, std::ios::binary)
        .write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
    LibraryCache cache(file);
    for (const auto& [folder, entry] : cache.load())
        (void)entry.recording.name.size();
    return 0;
}
