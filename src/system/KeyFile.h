#pragma once

#include <filesystem>
#include <map>
#include <optional>
#include <string>

namespace palaverly {

// API keys in a file that only the user's account can read (mode 0600), for a desktop without a
// Secret Service, and only after the user agreed to it in the settings window. A JSON object
// from account name to key. Plain values; any thread, one writer at a time.
class KeyFile {
public:
    using Keys = std::map<std::string, std::string>;

    explicit KeyFile(std::filesystem::path path);
    // "$XDG_CONFIG_HOME/palaverly/keys.json", beside the settings file.
    static std::filesystem::path defaultPath();

    const std::filesystem::path& path() const { return m_path; }
    bool exists() const;
    // The keys it holds; nothing when it is missing or unreadable.
    std::optional<Keys> read() const;
    // Replaces the file whole (made with the owner's access only), creating its folder. Empty
    // keys are left out. Returns the failure as a sentence for the user, or nothing.
    std::optional<std::string> write(const Keys& keys) const;

private:
    std::filesystem::path m_path;
};

} // namespace palaverly
