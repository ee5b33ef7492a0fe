#pragma once

#include <filesystem>

namespace palaverly {

// What a file looked like on disk when it was read: a file rewritten in any way (even in place)
// gets a new inode, size, or change time. A missing file has the empty stamp.
struct FileStamp {
    bool exists = false;
    unsigned long long device = 0, inode = 0, size = 0;
    long long changedSeconds = 0, changedNanoseconds = 0, modifiedSeconds = 0, modifiedNanoseconds = 0;

    static FileStamp of(const std::filesystem::path& path);
    bool operator==(const FileStamp&) const = default;
};

// The stamps of a recording folder's three JSON files.
struct FolderStamp {
    FileStamp meta, transcript, summary;

    static FolderStamp of(const std::filesystem::path& folder);
    bool operator==(const FolderStamp&) const = default;
};

} // namespace palaverly
