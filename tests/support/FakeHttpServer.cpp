#include "FakeHttpServer.h"

#include <algorithm>
#include <arpa/inet.h>
#include <cctype>
#include <cstdlib>
#include <dirent.h>
#include <fcntl.h>
#include <httplib.h>
#include <limits>
#include <netinet/in.h>
#include <nlohmann/json.hpp>
#include <sys/socket.h>
#include <unistd.h>

namespace palaverly::test {

namespace {

std::string lowered(std::string_view text)
{
    std::string out(text);
    std::transform(out.begin(), out.end(), out.begin(), [](unsigned char c) { return std::tolower(c); });
    return out;
}

// Entries the server library adds to the header map for its own use.
bool isBookkeeping(const std::string& name)
{
    return name == "REMOTE_ADDR" || name == "REMOTE_PORT" || name == "LOCAL_ADDR" || name == "LOCAL_PORT";
}

// Which request of the connection this server thread is handling, between the pre-routing
// hook and the route handler.
thread_local std::size_t t_requestIndex = 0;

constexpr std::size_t kStreamChunkBytes = 64 * 1024;

int portOf(const sockaddr_storage& address)
{
    if (address.ss_family == AF_INET)
        return ntohs(reinterpret_cast<const sockaddr_in&>(address).sin_port);
    if (address.ss_family == AF_INET6)
        return ntohs(reinterpret_cast<const sockaddr_in6&>(address).sin6_port);
    return -1;
}

} // namespace

std::optional<std::string> RecordedRequest::header(std::string_view name) const
{
    const std::string wanted = lowered(name);
    for (const auto& [key, value] : headers)
        if (lowered(key) == wanted)
            return value;
    return std::nullopt;
}

std::vector<std::string> RecordedRequest::headerNames() const
{
    std::vector<std::string> names;
    for (const auto& entry : headers)
        names.push_back(lowered(entry.first));
    std::sort(names.begin(), names.end());
    return names;
}

namespace {

// The quoted value of `; name="..."` in a header line; nothing when absent.
std::optional<std::string> quoted(const std::string& line, const std::string& name)
{
    const std::size_t start = line.find("; " + name + "=\"");
    if (start == std::string::npos)
        return std::nullopt;
    const std::size_t from = start + name.size() + 4;
    const std::size_t end = line.find('"', from);
    return end == std::string::npos ? std::nullopt : std::optional(line.substr(from, end - from));
}

} // namespace

std::optional<Form> readForm(const RecordedRequest& request)
{
    const std::string contentType = request.header("Content-Type").value_or("");
    const std::string prefix = "multipart/form-data; boundary=";
    if (!contentType.starts_with(prefix) || contentType.size() == prefix.size())
        return std::nullopt;
    Form form;
    form.boundary = contentType.substr(prefix.size());
    const std::string& body = request.body;
    const std::string delimiter = "--" + form.boundary;
    if (!body.starts_with(delimiter + "\r\n") || !body.ends_with("\r\n" + delimiter + "--\r\n"))
        return std::nullopt;

    for (std::size_t at = delimiter.size() + 2;;) {
        const std::size_t headersEnd = body.find("\r\n\r\n", at);
        const std::size_t next = body.find("\r\n" + delimiter, at);
        if (headersEnd == std::string::npos || next == std::string::npos || headersEnd > next)
            return std::nullopt;
        FormPart part;
        for (std::size_t line = at; line < headersEnd + 2;) {
            const std::size_t lineEnd = body.find("\r\n", line);
            const std::string text = body.substr(line, lineEnd - line);
            if (text.starts_with("Content-Disposition: form-data;")) {
                part.name = quoted(text, "name").value_or("");
                part.filename = quoted(text, "filename");
            } else if (text.starts_with("Content-Type: ")) {
                part.contentType = text.substr(14);
            }
            line = lineEnd + 2;
        }
        part.content = body.substr(headersEnd + 4, next - headersEnd - 4);
        form.parts.push_back(std::move(part));
        at = next + 2 + delimiter.size();
        if (body.compare(at, 2, "--") == 0)
            return form;
        at += 2;
    }
}

FakeAnswer FakeAnswer::reply(int status, std::string body, std::string contentType)
{
    FakeAnswer answer;
    answer.status = status;
    answer.body = std::move(body);
    answer.contentType = std::move(contentType);
    return answer;
}

FakeAnswer FakeAnswer::json(int status, const nlohmann::json& value)
{
    return reply(status, value.dump());
}

FakeAnswer FakeAnswer::reset()
{
    FakeAnswer answer;
    answer.kind = Kind::reset;
    return answer;
}

FakeAnswer FakeAnswer::stall()
{
    FakeAnswer answer;
    answer.kind = Kind::stall;
    return answer;
}

FakeAnswer FakeAnswer::stallWhileReceiving()
{
    FakeAnswer answer;
    answer.kind = Kind::stallWhileReceiving;
    return answer;
}

FakeAnswer FakeAnswer::truncated(int status, std::string partialBody, std::uint64_t announcedBytes)
{
    FakeAnswer answer = reply(status, std::move(partialBody));
    answer.kind = Kind::truncated;
    answer.bodyBytes = announcedBytes;
    return answer;
}

FakeAnswer FakeAnswer::endless(int status)
{
    FakeAnswer answer;
    answer.kind = Kind::endless;
    answer.status = status;
    return answer;
}

FakeAnswer FakeAnswer::generated(int status, std::uint64_t bytes)
{
    FakeAnswer answer;
    answer.kind = Kind::generated;
    answer.status = status;
    answer.bodyBytes = bytes;
    return answer;
}

FakeAnswer FakeAnswer::after(std::chrono::milliseconds wait) const
{
    FakeAnswer answer = *this;
    answer.delay = wait;
    return answer;
}

FakeHttpServer::FakeHttpServer(Handlers handlers)
    : m_handlers(std::move(handlers))
    , m_http(std::make_unique<httplib::Server>())
{
    // Uploads of test audio are kept whole for the assertions.
    m_http->set_payload_max_length(std::numeric_limits<std::size_t>::max());
    // Bounds how long an idle kept-alive connection can delay the destructor.
    m_http->set_keep_alive_timeout(1);

    m_http->set_pre_routing_handler([this](const httplib::Request& request, httplib::Response& response) {
        const std::size_t index = record(request);
        t_requestIndex = index;
        if (m_handlers.beforeBody) {
            RecordedRequest copy;
            {
                std::lock_guard lock(m_mutex);
                copy = m_requests[index];
            }
            if (auto answer = m_handlers.beforeBody(copy)) {
                perform(*answer, request, response);
                return httplib::Server::HandlerResponse::Handled;
            }
        }
        if (request.is_multipart_form_data()) {
            // The library would parse a multipart body into form fields and drop the raw bytes;
            // with another media type it keeps them in `body`. The original value is recorded.
            auto& headers = const_cast<httplib::Request&>(request).headers;
            for (auto& [name, value] : headers)
                if (lowered(name) == "content-type")
                    value = "application/octet-stream";
        }
        return httplib::Server::HandlerResponse::Unhandled;
    });

    const auto handle = [this](const httplib::Request& request, httplib::Response& response) {
        RecordedRequest copy;
        {
            std::lock_guard lock(m_mutex);
            RecordedRequest& recorded = m_requests[t_requestIndex];
            recorded.body = request.body;
            copy = recorded;
        }
        m_changed.notify_all();
        perform(m_handlers.respond(copy), request, response);
    };
    m_http->Get(".*", handle);
    m_http->Post(".*", handle);
    m_http->Put(".*", handle);
    m_http->Patch(".*", handle);
    m_http->Delete(".*", handle);

    m_port = m_http->bind_to_any_port("127.0.0.1");
    if (m_port <= 0)
        std::abort();
    m_thread = std::thread([this] { m_http->listen_after_bind(); });
    while (!m_http->is_running())
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
}

FakeHttpServer::~FakeHttpServer()
{
    {
        std::lock_guard lock(m_mutex);
        m_stopping = true;
    }
    m_changed.notify_all();
    m_http->stop();
    m_thread.join();
}

std::string FakeHttpServer::baseUrl() const
{
    return "http://127.0.0.1:" + std::to_string(m_port);
}

std::vector<RecordedRequest> FakeHttpServer::requests() const
{
    std::lock_guard lock(m_mutex);
    return m_requests;
}

std::size_t FakeHttpServer::requestCount() const
{
    std::lock_guard lock(m_mutex);
    return m_requests.size();
}

bool FakeHttpServer::waitForRequests(std::size_t count, std::chrono::milliseconds timeout) const
{
    std::unique_lock lock(m_mutex);
    return m_changed.wait_for(lock, timeout, [&] { return m_requests.size() >= count; });
}

void FakeHttpServer::releaseStalls()
{
    {
        std::lock_guard lock(m_mutex);
        ++m_releaseGeneration;
    }
    m_changed.notify_all();
}

std::size_t FakeHttpServer::record(const httplib::Request& request)
{
    RecordedRequest recorded;
    recorded.method = request.method;
    recorded.target = request.target.empty() ? request.path : request.target;
    for (const auto& [name, value] : request.headers)
        if (!isBookkeeping(name))
            recorded.headers.emplace_back(name, value);
    std::size_t index = 0;
    {
        std::lock_guard lock(m_mutex);
        index = m_requests.size();
        m_requests.push_back(std::move(recorded));
    }
    m_changed.notify_all();
    return index;
}

bool FakeHttpServer::pause(std::optional<std::chrono::milliseconds> duration, bool endOnRelease)
{
    std::unique_lock lock(m_mutex);
    const std::uint64_t generation = m_releaseGeneration;
    const auto done = [&] { return m_stopping || (endOnRelease && m_releaseGeneration != generation); };
    if (duration)
        m_changed.wait_for(lock, *duration, done);
    else
        m_changed.wait(lock, done);
    return !m_stopping;
}

void FakeHttpServer::resetConnection(const httplib::Request& request)
{
    // The library does not expose the connection's socket, so find it among this process's
    // descriptors by its two ports. With a zero linger time, closing it sends a reset. The
    // descriptor number is taken over by /dev/null, so that the library's own writes and its
    // close later on touch nothing else.
    DIR* directory = ::opendir("/proc/self/fd");
    if (!directory)
        return;
    while (const dirent* entry = ::readdir(directory)) {
        const int fd = std::atoi(entry->d_name);
        if (fd <= 2 || fd == ::dirfd(directory))
            continue;
        sockaddr_storage local{};
        sockaddr_storage peer{};
        socklen_t localLength = sizeof local;
        socklen_t peerLength = sizeof peer;
        if (::getsockname(fd, reinterpret_cast<sockaddr*>(&local), &localLength) != 0
            || ::getpeername(fd, reinterpret_cast<sockaddr*>(&peer), &peerLength) != 0)
            continue;
        if (portOf(local) != m_port || portOf(peer) != request.remote_port)
            continue;
        const linger abort{1, 0};
        ::setsockopt(fd, SOL_SOCKET, SO_LINGER, &abort, sizeof abort);
        const int devNull = ::open("/dev/null", O_RDWR | O_CLOEXEC);
        if (devNull >= 0) {
            ::dup2(devNull, fd);
            ::close(devNull);
        }
        break;
    }
    ::closedir(directory);
}

void FakeHttpServer::perform(const FakeAnswer& answer, const httplib::Request& request, httplib::Response& response)
{
    if (answer.delay.count() > 0 && !pause(answer.delay, false)) {
        resetConnection(request);
        return;
    }
    switch (answer.kind) {
    case FakeAnswer::Kind::reply:
        response.status = answer.status;
        response.set_content(answer.body, answer.contentType.c_str());
        return;
    case FakeAnswer::Kind::reset:
        resetConnection(request);
        return;
    case FakeAnswer::Kind::stall:
    case FakeAnswer::Kind::stallWhileReceiving:
        pause(std::nullopt, true);
        resetConnection(request);
        return;
    case FakeAnswer::Kind::truncated: {
        response.status = answer.status;
        const std::string partial = answer.body;
        response.set_content_provider(static_cast<std::size_t>(answer.bodyBytes), answer.contentType.c_str(),
            [partial](std::size_t, std::size_t, httplib::DataSink& sink) {
                sink.write(partial.data(), partial.size());
                return false; // closes the connection short of the announced length
            });
        return;
    }
    case FakeAnswer::Kind::endless:
        response.status = answer.status;
        response.set_chunked_content_provider(answer.contentType.c_str(), [this](std::size_t, httplib::DataSink& sink) {
            const std::string chunk(kStreamChunkBytes, ' ');
            {
                std::lock_guard lock(m_mutex);
                if (m_stopping)
                    return false;
            }
            return sink.write(chunk.data(), chunk.size());
        });
        return;
    case FakeAnswer::Kind::generated:
        response.status = answer.status;
        response.set_content_provider(static_cast<std::size_t>(answer.bodyBytes), answer.contentType.c_str(),
            [](std::size_t, std::size_t length, httplib::DataSink& sink) {
                const std::string chunk(std::min(length, kStreamChunkBytes), 'x');
                return sink.write(chunk.data(), chunk.size());
            });
        return;
    }
}

} // namespace palaverly::test
