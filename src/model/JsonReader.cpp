#include "model/JsonReader.h"

#include <cerrno>
#include <cmath>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace palaverly::json {

void PaddedText::reserve(std::size_t size)
{
    if (m_bytes.size() < size + simdjson::SIMDJSON_PADDING)
        m_bytes.resize(size + simdjson::SIMDJSON_PADDING);
}

void PaddedText::assign(std::string_view text)
{
    reserve(text.size());
    std::memcpy(m_bytes.data(), text.data(), text.size());
    std::memset(m_bytes.data() + text.size(), 0, simdjson::SIMDJSON_PADDING);
    m_size = text.size();
}

bool PaddedText::readFile(const std::filesystem::path& path, std::uintmax_t maxBytes)
{
    m_size = 0;
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return false;
    struct stat info { };
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode) || static_cast<std::uintmax_t>(info.st_size) > maxBytes) {
        const int saved = S_ISREG(info.st_mode) ? 0 : EISDIR;
        ::close(fd);
        errno = saved;
        return false;
    }
    // The file may grow while it is read; one spare page tells whether it did.
    std::size_t size = static_cast<std::size_t>(info.st_size) + 4096;
    reserve(size);
    std::size_t got = 0;
    while (true) {
        if (got == size) {
            size *= 2;
            reserve(size);
        }
        const ssize_t n = ::read(fd, m_bytes.data() + got, size - got);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            const int saved = errno;
            ::close(fd);
            errno = saved;
            return false;
        }
        if (n == 0)
            break;
        got += static_cast<std::size_t>(n);
        if (got > maxBytes) {
            ::close(fd);
            errno = 0;
            return false;
        }
    }
    ::close(fd);
    std::memset(m_bytes.data() + got, 0, simdjson::SIMDJSON_PADDING);
    m_size = got;
    return true;
}

bool readString(dom::element value, std::string_view& out)
{
    return !value.get_string().get(out);
}

bool readString(dom::element value, std::string& out)
{
    std::string_view view;
    if (!readString(value, view))
        return false;
    out.assign(view);
    return true;
}

bool readNumber(dom::element value, double& out)
{
    return !value.get_double().get(out);
}

bool readDate(dom::element value, Timestamp& out)
{
    std::string_view text;
    if (!readString(value, text))
        return false;
    const auto date = parseIsoDate(text);
    if (!date)
        return false;
    out = *date;
    return true;
}

bool readInteger(dom::element value, long long& out)
{
    switch (value.type()) {
    case dom::element_type::INT64:
        out = value.get_int64().value_unsafe();
        return true;
    case dom::element_type::DOUBLE: {
        const double d = value.get_double().value_unsafe();
        if (!std::isfinite(d) || d != std::trunc(d) || std::fabs(d) > 9.2e18)
            return false;
        out = static_cast<long long>(d);
        return true;
    }
    default:
        // Beyond the signed 64-bit range, or not a number at all.
        return false;
    }
}

} // namespace palaverly::json
