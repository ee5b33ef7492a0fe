#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <nlohmann/json_fwd.hpp>
#include <optional>
#include <string>
#include <string_view>
#include <thread>
#include <utility>
#include <vector>

namespace httplib {
class Server;
struct Request;
struct Response;
} // namespace httplib

namespace palaverly::test {

// One request as the server received it.
struct RecordedRequest {
    std::string method;
    // The request target as sent: path and query.
    std::string target;
    // Header fields as sent, names in the sender's spelling. (The server library keeps them
    // sorted by name, so the order on the wire is not kept.)
    std::vector<std::pair<std::string, std::string>> headers;
    // The body's raw bytes (multipart bodies too, unparsed).
    std::string body;

    // Case-insensitive; nothing when absent.
    std::optional<std::string> header(std::string_view name) const;
    // Lower-cased and sorted, e.g. {"content-length", "content-type", "host"}.
    std::vector<std::string> headerNames() const;
};

// A multipart/form-data body as a service reads it. (Each client's exact bytes are checked in
// its own test; the fakes only have to read what is sent.)
struct FormPart {
    std::string name;
    // Set for a file part.
    std::optional<std::string> filename;
    // The part's own Content-Type header; empty when it had none.
    std::string contentType;
    std::string content;
};
struct Form {
    std::string boundary;
    std::vector<FormPart> parts;
};
// Nothing when the request carries no well-formed multipart/form-data body.
std::optional<Form> readForm(const RecordedRequest& request);

// How the server answers one request.
struct FakeAnswer {
    enum class Kind {
        reply, // status, body and content type, after `delay`
        reset, // the connection is closed with a TCP reset, nothing is answered
        stall, // nothing is answered until releaseStalls() or the server stops; then a reset
        stallWhileReceiving, // like stall, but the body is not read: a large upload stops moving
        truncated, // status line and headers announcing `bodyBytes`, then `body`, then the connection is closed
        endless, // a chunked body that never ends (until the client goes away)
        generated, // a body of `bodyBytes` bytes produced on the fly
    };

    Kind kind = Kind::reply;
    int status = 200;
    std::string body;
    std::string contentType = "application/json";
    std::chrono::milliseconds delay{0};
    std::uint64_t bodyBytes = 0;

    static FakeAnswer reply(int status, std::string body, std::string contentType = "application/json");
    static FakeAnswer json(int status, const nlohmann::json& value);
    static FakeAnswer reset();
    static FakeAnswer stall();
    static FakeAnswer stallWhileReceiving();
    static FakeAnswer truncated(int status, std::string partialBody, std::uint64_t announcedBytes);
    static FakeAnswer endless(int status = 200);
    static FakeAnswer generated(int status, std::uint64_t bytes);
    // The same answer, given only after `wait` (interrupted when the server stops).
    FakeAnswer after(std::chrono::milliseconds wait) const;
};

// A real HTTP/1.1 server on 127.0.0.1 with an ephemeral port, serving from a pool of threads
// until it is destroyed. It records every request and answers each with what the handlers
// return. The protocol fakes (FakeSpeechService, FakeChatService) are built on it; a test may
// also use it directly.
class FakeHttpServer {
public:
    struct Handlers {
        // Called for every request once its body has arrived, on a server thread.
        std::function<FakeAnswer(const RecordedRequest&)> respond;
        // Called when a request's headers have arrived, before the body is read, on a server
        // thread. An answer returned here is used without reading the body (meant for
        // stallWhileReceiving and reset); nothing lets the request go on to `respond`.
        std::function<std::optional<FakeAnswer>(const RecordedRequest&)> beforeBody;
    };

    explicit FakeHttpServer(Handlers handlers);
    // Ends stalls, stops serving and joins the server threads; handlers are not called after.
    ~FakeHttpServer();
    FakeHttpServer(const FakeHttpServer&) = delete;
    FakeHttpServer& operator=(const FakeHttpServer&) = delete;

    // "http://127.0.0.1:<port>".
    std::string baseUrl() const;
    int port() const { return m_port; }

    // Every request so far, in order of arrival (headers read).
    std::vector<RecordedRequest> requests() const;
    std::size_t requestCount() const;
    // Blocks until `count` requests have arrived; false when `timeout` passed first.
    bool waitForRequests(std::size_t count, std::chrono::milliseconds timeout = std::chrono::seconds(10)) const;
    // Lets every stall that is waiting now end with a reset.
    void releaseStalls();

private:
    void perform(const FakeAnswer& answer, const httplib::Request& request, httplib::Response& response);
    // Waits `duration` (forever when nullopt); false when the wait ended because the server stops.
    bool pause(std::optional<std::chrono::milliseconds> duration, bool endOnRelease);
    void resetConnection(const httplib::Request& request);
    std::size_t record(const httplib::Request& request);

    Handlers m_handlers;
    mutable std::mutex m_mutex;
    mutable std::condition_variable m_changed;
    std::vector<RecordedRequest> m_requests;
    bool m_stopping = false;
    std::uint64_t m_releaseGeneration = 0;
    int m_port = 0;
    std::unique_ptr<httplib::Server> m_http;
    std::thread m_thread;
};

} // namespace palaverly::test
