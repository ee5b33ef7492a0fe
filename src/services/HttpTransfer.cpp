#include "services/HttpTransfer.h"

#include "common/AtomicFile.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstring>
#include <curl/curl.h>
#include <fcntl.h>
#include <memory>
#include <mutex>
#include <optional>
#include <sys/stat.h>
#include <unistd.h>

namespace palaverly::http {

namespace {

using Clock = std::chrono::steady_clock;

constexpr std::size_t kFileChunkBytes = 1024 * 1024;
// Lets libcurl hand over up to one file chunk per read callback, which keeps large uploads
// close to the speed of the command-line tool at the cost of one buffer of this size.
constexpr long kUploadBufferBytes = 1024 * 1024;

void initialiseCurlOnce()
{
    static std::once_flag once;
    std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

// CURL and CURLM are both void, so each needs a deleter of its own.
struct EasyDeleter {
    void operator()(CURL* handle) const { curl_easy_cleanup(handle); }
};
struct MultiDeleter {
    void operator()(CURLM* handle) const { curl_multi_cleanup(handle); }
};
struct ListDeleter {
    void operator()(curl_slist* list) const { curl_slist_free_all(list); }
};

class FileDescriptor {
public:
    explicit FileDescriptor(int fd = -1)
        : m_fd(fd)
    {
    }
    FileDescriptor(FileDescriptor&& other) noexcept
        : m_fd(std::exchange(other.m_fd, -1))
    {
    }
    FileDescriptor& operator=(FileDescriptor&& other) noexcept
    {
        std::swap(m_fd, other.m_fd);
        return *this;
    }
    ~FileDescriptor()
    {
        if (m_fd >= 0)
            ::close(m_fd);
    }
    int get() const { return m_fd; }

private:
    int m_fd = -1;
};

// One body part as it is being sent.
struct OutgoingPart {
    const BodyPart* source = nullptr;
    FileDescriptor fd;
    std::uint64_t size = 0;
};

// Everything the libcurl callbacks touch; they all run on the thread inside perform().
struct TransferState {
    std::vector<OutgoingPart> parts;
    std::size_t partIndex = 0;
    std::uint64_t partOffset = 0;
    std::optional<std::string> fileError;
    const std::function<void()>* bodySent = nullptr;
    bool bodyComplete = false;

    std::string responseBody;
    std::size_t maxResponseBytes = 0;
    bool responseTooLarge = false;

    Clock::time_point lastActivity = Clock::now();
    std::stop_token stop;
};

std::optional<std::string> openParts(const Request& request, TransferState& state)
{
    for (const auto& part : request.body) {
        OutgoingPart outgoing;
        outgoing.source = &part;
        if (part.file.empty()) {
            outgoing.size = part.bytes.size();
        } else {
            outgoing.fd = FileDescriptor(::open(part.file.c_str(), O_RDONLY | O_CLOEXEC));
            const int fd = outgoing.fd.get();
            if (fd < 0)
                return fileErrorText("открыть файл", part.file, errno);
            struct stat info { };
            if (::fstat(fd, &info) != 0)
                return fileErrorText("открыть файл", part.file, errno);
            if (S_ISDIR(info.st_mode))
                return fileErrorText("открыть файл", part.file, EISDIR);
            ::posix_fadvise(fd, 0, 0, POSIX_FADV_SEQUENTIAL);
            outgoing.size = static_cast<std::uint64_t>(info.st_size);
        }
        state.parts.push_back(std::move(outgoing));
    }
    return std::nullopt;
}

size_t readBody(char* buffer, size_t size, size_t count, void* userData)
{
    auto& state = *static_cast<TransferState*>(userData);
    const size_t capacity = size * count;
    size_t filled = 0;
    while (filled < capacity && state.partIndex < state.parts.size()) {
        OutgoingPart& part = state.parts[state.partIndex];
        const std::uint64_t left = part.size - state.partOffset;
        if (left == 0) {
            ++state.partIndex;
            state.partOffset = 0;
            continue;
        }
        size_t chunk = static_cast<size_t>(std::min<std::uint64_t>(left, capacity - filled));
        if (part.fd.get() < 0) {
            std::memcpy(buffer + filled, part.source->bytes.data() + state.partOffset, chunk);
        } else {
            chunk = std::min(chunk, kFileChunkBytes);
            const ssize_t got = ::read(part.fd.get(), buffer + filled, chunk);
            if (got < 0 && errno == EINTR)
                continue;
            if (got < 0) {
                state.fileError = fileErrorText("прочитать файл", part.source->file, errno);
                return CURL_READFUNC_ABORT;
            }
            if (got == 0) {
                // The announced Content-Length can no longer be met.
                state.fileError = "Не удалось прочитать файл «" + part.source->file.filename().string()
                    + "»: файл стал короче во время отправки";
                return CURL_READFUNC_ABORT;
            }
            chunk = static_cast<size_t>(got);
        }
        filled += chunk;
        state.partOffset += chunk;
    }
    state.lastActivity = Clock::now();
    const bool lastPartDone = state.partIndex >= state.parts.size()
        || (state.partIndex + 1 == state.parts.size() && state.partOffset == state.parts.back().size);
    if (lastPartDone && !state.bodyComplete) {
        state.bodyComplete = true;
        if (state.bodySent && *state.bodySent)
            (*state.bodySent)();
    }
    return filled;
}

size_t receiveBody(char* data, size_t size, size_t count, void* userData)
{
    auto& state = *static_cast<TransferState*>(userData);
    const size_t bytes = size * count;
    if (state.responseBody.size() + bytes > state.maxResponseBytes) {
        state.responseTooLarge = true;
        return 0; // anything but `bytes` makes libcurl abort the transfer
    }
    state.responseBody.append(data, bytes);
    state.lastActivity = Clock::now();
    return bytes;
}

size_t receiveHeader(char*, size_t size, size_t count, void* userData)
{
    static_cast<TransferState*>(userData)->lastActivity = Clock::now();
    return size * count;
}

int progress(void* userData, curl_off_t, curl_off_t, curl_off_t, curl_off_t)
{
    return static_cast<TransferState*>(userData)->stop.stop_requested() ? 1 : 0;
}

TransportError transportError(CURLcode code, const char* errorBuffer)
{
    TransportError error;
    error.curlCode = static_cast<int>(code);
    error.detail = errorBuffer && *errorBuffer ? errorBuffer : curl_easy_strerror(code);
    switch (code) {
    case CURLE_OPERATION_TIMEDOUT:
        error.kind = TransportError::Kind::timedOut;
        break;
    case CURLE_COULDNT_CONNECT:
        error.kind = TransportError::Kind::cannotConnect;
        break;
    case CURLE_COULDNT_RESOLVE_HOST:
    case CURLE_COULDNT_RESOLVE_PROXY:
        error.kind = TransportError::Kind::cannotFindHost;
        break;
    case CURLE_RECV_ERROR:
    case CURLE_SEND_ERROR:
    case CURLE_PARTIAL_FILE:
    case CURLE_GOT_NOTHING:
    case CURLE_HTTP2:
    case CURLE_HTTP2_STREAM:
        error.kind = TransportError::Kind::connectionLost;
        break;
    case CURLE_SSL_CONNECT_ERROR:
    case CURLE_PEER_FAILED_VERIFICATION:
    case CURLE_SSL_CERTPROBLEM:
    case CURLE_SSL_CIPHER:
    case CURLE_SSL_CACERT_BADFILE:
        error.kind = TransportError::Kind::secureConnectionFailed;
        break;
    default:
        error.kind = TransportError::Kind::other;
        break;
    }
    return error;
}

Unexpected<Error> failure(Error::Kind kind, TransportError transport = {}, std::string fileText = {})
{
    return unexpected(Error{kind, std::move(transport), std::move(fileText)});
}

bool hasHeader(const std::vector<std::string>& headers, std::string_view name)
{
    return std::any_of(headers.begin(), headers.end(), [&](const std::string& line) {
        return line.size() > name.size() && line[name.size()] == ':'
            && std::equal(name.begin(), name.end(), line.begin(), [](char a, char b) {
                   return std::tolower(static_cast<unsigned char>(a)) == std::tolower(static_cast<unsigned char>(b));
               });
    });
}

} // namespace

Expected<Response, Error> perform(const Request& request, std::stop_token stop)
{
    if (stop.stop_requested())
        return failure(Error::Kind::cancelled);
    initialiseCurlOnce();

    TransferState state;
    state.maxResponseBytes = request.maxResponseBytes;
    state.stop = stop;
    state.bodySent = &request.bodySent;
    if (auto problem = openParts(request, state))
        return failure(Error::Kind::file, {}, std::move(*problem));
    std::uint64_t bodySize = 0;
    for (const auto& part : state.parts)
        bodySize += part.size;

    std::unique_ptr<CURL, EasyDeleter> easy(curl_easy_init());
    std::unique_ptr<CURLM, MultiDeleter> multi(curl_multi_init());
    if (!easy || !multi)
        return failure(Error::Kind::transport, transportError(CURLE_FAILED_INIT, nullptr));

    curl_slist* rawHeaders = nullptr;
    for (const auto& line : request.headers)
        rawHeaders = curl_slist_append(rawHeaders, line.c_str());
    // An empty value removes a header libcurl would otherwise add on its own.
    if (!hasHeader(request.headers, "Accept"))
        rawHeaders = curl_slist_append(rawHeaders, "Accept:");
    rawHeaders = curl_slist_append(rawHeaders, "Expect:");
    std::unique_ptr<curl_slist, ListDeleter> headers(rawHeaders);

    char errorBuffer[CURL_ERROR_SIZE] = {};
    CURL* handle = easy.get();
    curl_easy_setopt(handle, CURLOPT_URL, request.url.c_str());
    curl_easy_setopt(handle, CURLOPT_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(handle, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(handle, CURLOPT_ERRORBUFFER, errorBuffer);
    curl_easy_setopt(handle, CURLOPT_HTTPHEADER, headers.get());
    curl_easy_setopt(handle, CURLOPT_CONNECTTIMEOUT_MS, static_cast<long>(request.idleTimeout.count()));
    curl_easy_setopt(handle, CURLOPT_TIMEOUT_MS, static_cast<long>(request.totalTimeout.count()));
    curl_easy_setopt(handle, CURLOPT_WRITEFUNCTION, receiveBody);
    curl_easy_setopt(handle, CURLOPT_WRITEDATA, &state);
    curl_easy_setopt(handle, CURLOPT_HEADERFUNCTION, receiveHeader);
    curl_easy_setopt(handle, CURLOPT_HEADERDATA, &state);
    curl_easy_setopt(handle, CURLOPT_NOPROGRESS, 0L);
    curl_easy_setopt(handle, CURLOPT_XFERINFOFUNCTION, progress);
    curl_easy_setopt(handle, CURLOPT_XFERINFODATA, &state);
    if (request.method == "GET") {
        curl_easy_setopt(handle, CURLOPT_HTTPGET, 1L);
    } else {
        curl_easy_setopt(handle, CURLOPT_POST, 1L);
        if (request.method != "POST")
            curl_easy_setopt(handle, CURLOPT_CUSTOMREQUEST, request.method.c_str());
        curl_easy_setopt(handle, CURLOPT_POSTFIELDSIZE_LARGE, static_cast<curl_off_t>(bodySize));
        curl_easy_setopt(handle, CURLOPT_READFUNCTION, readBody);
        curl_easy_setopt(handle, CURLOPT_READDATA, &state);
        curl_easy_setopt(handle, CURLOPT_UPLOAD_BUFFERSIZE, kUploadBufferBytes);
    }
    // The easy handle is driven through a multi handle of its own because a multi poll can be
    // woken from another thread (curl_multi_wakeup): a stop then takes effect at once, whereas
    // curl_easy_perform would only notice it at its next progress call, up to a second later.
    curl_multi_add_handle(multi.get(), handle);

    bool cancelled = false;
    bool idleTimedOut = false;
    bool multiFailed = false;
    {
        // Wakes the poll below the moment a stop is requested, from whichever thread asks.
        CURLM* multiHandle = multi.get();
        std::stop_callback wake(stop, [multiHandle] { curl_multi_wakeup(multiHandle); });
        state.lastActivity = Clock::now();
        for (;;) {
            int running = 0;
            if (curl_multi_perform(multi.get(), &running) != CURLM_OK) {
                multiFailed = true;
                break;
            }
            if (running == 0)
                break;
            if (stop.stop_requested()) {
                cancelled = true;
                break;
            }
            const auto idle = Clock::now() - state.lastActivity;
            const auto idleLimit
                = state.bodyComplete && request.answerIdleTimeout ? *request.answerIdleTimeout : request.idleTimeout;
            if (idle >= idleLimit) {
                idleTimedOut = true;
                break;
            }
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(idleLimit - idle);
            const int waitMs = static_cast<int>(std::clamp<std::chrono::milliseconds::rep>(left.count() + 1, 1, 1000));
            curl_multi_poll(multi.get(), nullptr, 0, waitMs, nullptr);
        }
    }

    CURLcode result = CURLE_OK;
    if (!cancelled && !idleTimedOut && !multiFailed) {
        int queued = 0;
        result = CURLE_GOT_NOTHING;
        while (CURLMsg* message = curl_multi_info_read(multi.get(), &queued))
            if (message->msg == CURLMSG_DONE)
                result = message->data.result;
    }
    curl_multi_remove_handle(multi.get(), handle);

    if (result == CURLE_OK && !cancelled && !idleTimedOut && !multiFailed) {
        Response response;
        curl_easy_getinfo(handle, CURLINFO_RESPONSE_CODE, &response.status);
        response.body = std::move(state.responseBody);
        return response;
    }
    if (cancelled || stop.stop_requested())
        return failure(Error::Kind::cancelled);
    if (state.responseTooLarge)
        return failure(Error::Kind::responseTooLarge);
    if (state.fileError)
        return failure(Error::Kind::file, {}, std::move(*state.fileError));
    if (idleTimedOut) {
        TransportError error;
        error.kind = TransportError::Kind::timedOut;
        error.curlCode = CURLE_OPERATION_TIMEDOUT;
        error.detail = "no data moved for the idle limit";
        return failure(Error::Kind::transport, std::move(error));
    }
    return failure(Error::Kind::transport, transportError(multiFailed ? CURLE_FAILED_INIT : result, errorBuffer));
}

std::string utf8OrEmpty(const std::string& bytes)
{
    const auto* p = reinterpret_cast<const unsigned char*>(bytes.data());
    const auto* end = p + bytes.size();
    while (p < end) {
        const unsigned char c = *p;
        int length = 0;
        std::uint32_t codePoint = 0;
        if (c < 0x80) {
            ++p;
            continue;
        } else if (c >= 0xC2 && c <= 0xDF) {
            length = 2;
            codePoint = c & 0x1F;
        } else if (c >= 0xE0 && c <= 0xEF) {
            length = 3;
            codePoint = c & 0x0F;
        } else if (c >= 0xF0 && c <= 0xF4) {
            length = 4;
            codePoint = c & 0x07;
        } else {
            return {};
        }
        if (end - p < length)
            return {};
        for (int i = 1; i < length; ++i) {
            if ((p[i] & 0xC0) != 0x80)
                return {};
            codePoint = (codePoint << 6) | (p[i] & 0x3F);
        }
        // Overlong forms, surrogates and values past U+10FFFF are not UTF-8.
        if ((length == 3 && codePoint < 0x800) || (length == 4 && (codePoint < 0x10000 || codePoint > 0x10FFFF))
            || (codePoint >= 0xD800 && codePoint <= 0xDFFF))
            return {};
        p += length;
    }
    return bytes;
}

} // namespace palaverly::http
