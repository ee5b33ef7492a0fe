#pragma once

#include "common/Expected.h"
#include "services/ServiceFailure.h"

#include <chrono>
#include <cstddef>
#include <filesystem>
#include <functional>
#include <optional>
#include <stop_token>
#include <string>
#include <vector>

// One HTTP exchange over libcurl, shared by the service clients. A request body is assembled
// from pieces while it is sent (in-memory bytes and whole files read in chunks of at most
// 1 MiB), so a file of any size goes out with flat memory; the answer is kept in memory up to a
// bound.
namespace palaverly::http {

inline constexpr std::size_t kDefaultMaxResponseBytes = 16 * 1024 * 1024;

// A piece of a request body: either bytes held in memory or the whole content of a file.
struct BodyPart {
    std::string bytes;
    // When not empty, the part is this file's content and `bytes` is unused.
    std::filesystem::path file;

    static BodyPart text(std::string bytes) { return {std::move(bytes), {}}; }
    static BodyPart fileContent(std::filesystem::path file) { return {{}, std::move(file)}; }
};

struct Request {
    // "GET" or "POST".
    std::string method = "GET";
    std::string url;
    // "Name: value" lines. Nothing else is added but what HTTP itself needs (Host, and
    // Content-Length for a body); libcurl's own Accept and Expect headers are suppressed.
    std::vector<std::string> headers;
    // Sent with the exact Content-Length of all parts together.
    std::vector<BodyPart> body;
    // The transfer fails with a timeout when no byte has moved in either direction for this
    // long (connecting included), or when the whole exchange takes longer than totalTimeout.
    std::chrono::milliseconds idleTimeout{60'000};
    std::chrono::milliseconds totalTimeout{600'000};
    // When set, the idle limit once the whole body has been sent: a service that works on the
    // upload before it answers stays silent for that long.
    std::optional<std::chrono::milliseconds> answerIdleTimeout;
    // Called on the calling thread of perform() once, when the last byte of the body has been
    // handed to the connection.
    std::function<void()> bodySent;
    // A larger answer is cut off and reported as responseTooLarge.
    std::size_t maxResponseBytes = kDefaultMaxResponseBytes;
};

struct Response {
    long status = 0;
    std::string body;
};

struct Error {
    enum class Kind { cancelled, transport, responseTooLarge, file };

    Kind kind = Kind::transport;
    // Set for Kind::transport.
    TransportError transport;
    // For Kind::file: the sentence that says which file could not be opened or read, and why.
    std::string fileText;
};

// Runs the exchange on the calling thread and blocks until it ends. A stop requested on `stop`
// (from any thread) aborts the transfer within milliseconds and yields Kind::cancelled, whatever
// state the connection was in. Safe to call from several threads at once.
Expected<Response, Error> perform(const Request& request, std::stop_token stop);

// The bytes as text when they are valid UTF-8, otherwise the empty string.
std::string utf8OrEmpty(const std::string& bytes);

} // namespace palaverly::http
