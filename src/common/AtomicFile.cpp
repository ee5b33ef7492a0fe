#include "common/AtomicFile.h"

#include "common/Uuid.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace palaverly {

std::string fileErrorText(std::string_view action, const std::filesystem::path& path, int errorNumber)
{
    std::string text = "Не удалось ";
    text += action;
    text += " «";
    text += path.filename().string();
    text += "»: ";
    text += std::strerror(errorNumber);
    return text;
}

std::optional<std::string> writeFileAtomically(
    const std::filesystem::path& path, std::string_view data, FileAccess access)
{
    const std::filesystem::path temporary
        = path.parent_path() / ("." + path.filename().string() + "." + Uuid::generate().toString() + ".tmp");
    const int fd = ::open(
        temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, access == FileAccess::ownerOnly ? 0600 : 0644);
    if (fd < 0)
        return fileErrorText("записать файл", path, errno);

    const auto fail = [&](int errorNumber) {
        ::close(fd);
        ::unlink(temporary.c_str());
        return fileErrorText("записать файл", path, errorNumber);
    };
    size_t written = 0;
    while (written < data.size()) {
        const ssize_t n = ::write(fd, data.data() + written, data.size() - written);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return fail(errno);
        }
        written += static_cast<size_t>(n);
    }
    if (::fsync(fd) != 0)
        return fail(errno);
    if (::close(fd) != 0) {
        const int errorNumber = errno;
        ::unlink(temporary.c_str());
        return fileErrorText("записать файл", path, errorNumber);
    }
    if (::rename(temporary.c_str(), path.c_str()) != 0) {
        const int errorNumber = errno;
        ::unlink(temporary.c_str());
        return fileErrorText("записать файл", path, errorNumber);
    }
    return std::nullopt;
}

std::optional<std::string> readSmallFile(const std::filesystem::path& path, std::uintmax_t maxBytes)
{
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return std::nullopt;
    struct stat info { };
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode) || static_cast<std::uintmax_t>(info.st_size) > maxBytes) {
        ::close(fd);
        return std::nullopt;
    }
    std::string data;
    data.resize(static_cast<size_t>(info.st_size));
    size_t got = 0;
    while (true) {
        if (got == data.size())
            data.resize(data.size() + 4096);
        const ssize_t n = ::read(fd, data.data() + got, data.size() - got);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            ::close(fd);
            return std::nullopt;
        }
        if (n == 0)
            break;
        got += static_cast<size_t>(n);
        if (got > maxBytes) {
            ::close(fd);
            return std::nullopt;
        }
    }
    ::close(fd);
    data.resize(got);
    return data;
}

} // namespace palaverly
