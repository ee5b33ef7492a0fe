#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

namespace palaverly {

// Who may read a written file besides its owner.
enum class FileAccess { everyone, ownerOnly };

// Replaces `path` whole with `data`: the bytes go to a temporary file in the same folder, are
// flushed to disk and renamed over the old file, so a crash leaves either the old or the new
// file, never half of one. The file is readable by `access` from its first byte on. Returns the
// failure as a sentence for the user, or nothing.
std::optional<std::string> writeFileAtomically(
    const std::filesystem::path& path, std::string_view data, FileAccess access = FileAccess::everyone);

// Reads a whole file of at most `maxBytes`. A larger, missing or unreadable file yields nothing.
std::optional<std::string> readSmallFile(const std::filesystem::path& path, std::uintmax_t maxBytes);

// The text for a failed file operation: "Не удалось <action> «<name>»: <system reason>".
std::string fileErrorText(std::string_view action, const std::filesystem::path& path, int errorNumber);

} // namespace palaverly
