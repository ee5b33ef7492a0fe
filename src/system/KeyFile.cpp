#include "system/KeyFile.h"

#include "common/AtomicFile.h"
#include "model/JsonCoding.h"

#include <QStandardPaths>
#include <system_error>

namespace palaverly {

namespace {
constexpr std::uintmax_t kMaxBytes = 64 * 1024;
}

KeyFile::KeyFile(std::filesystem::path path)
    : m_path(std::move(path))
{
}

std::filesystem::path KeyFile::defaultPath()
{
    return std::filesystem::path(QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation).toStdString())
        / "palaverly" / "keys.json";
}

bool KeyFile::exists() const
{
    std::error_code ignored;
    return std::filesystem::is_regular_file(m_path, ignored);
}

std::optional<KeyFile::Keys> KeyFile::read() const
{
    const auto text = readSmallFile(m_path, kMaxBytes);
    if (!text)
        return std::nullopt;
    const auto document = json::parse(*text);
    if (!document || !document->is_object())
        return std::nullopt;
    Keys keys;
    for (const auto& [account, value] : document->items()) {
        if (value.is_string() && !value.get<std::string>().empty())
            keys[account] = value.get<std::string>();
    }
    return keys;
}

std::optional<std::string> KeyFile::write(const Keys& keys) const
{
    std::error_code error;
    std::filesystem::create_directories(m_path.parent_path(), error);
    nlohmann::json document = nlohmann::json::object();
    for (const auto& [account, value] : keys) {
        if (!value.empty())
            document[account] = value;
    }
    return writeFileAtomically(m_path, json::encodePretty(document), FileAccess::ownerOnly);
}

} // namespace palaverly
