#include "model/FileStamp.h"

#include <sys/stat.h>

namespace palaverly {

FileStamp FileStamp::of(const std::filesystem::path& path)
{
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
}

FolderStamp FolderStamp::of(const std::filesystem::path& folder)
{
    return {FileStamp::of(folder / "meta.json"), FileStamp::of(folder / "transcript.json"),
        FileStamp::of(folder / "summary.json")};
}

} // namespace palaverly
