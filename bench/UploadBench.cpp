// Upload benchmark: wall time and peak memory growth of ASRClient::submitJob (or, with --openai,
// of the OpenAI-compatible client's transcribe) on a large file, against Debian's curl
// command-line tool sending the same file to the same loopback server.

#include "services/ASRClient.h"
#include "services/OpenAITranscriptionClient.h"

#include <algorithm>
#include <arpa/inet.h>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <netinet/in.h>
#include <optional>
#include <spawn.h>
#include <string>
#include <sys/socket.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

extern char** environ;

namespace {

using Clock = std::chrono::steady_clock;

[[noreturn]] void fail(const std::string& message)
{
    std::fprintf(stderr, "bench_upload: %s\n", message.c_str());
    std::exit(1);
}

// Minimal HTTP/1.1 sink: reads the headers, answers "100 Continue" when asked, reads and drops
// Content-Length bytes, answers with a job id and closes. One connection at a time is enough.
class DiscardingServer {
public:
    DiscardingServer()
        : m_buffer(4 * 1024 * 1024)
    {
        m_listener = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t length = sizeof address;
        if (m_listener < 0 || ::bind(m_listener, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0
            || ::listen(m_listener, 8) != 0
            || ::getsockname(m_listener, reinterpret_cast<sockaddr*>(&address), &length) != 0)
            fail(std::string("cannot listen on loopback: ") + std::strerror(errno));
        m_port = ntohs(address.sin_port);
        std::fill(m_buffer.begin(), m_buffer.end(), 0); // touched now, so it is not counted as growth later
        m_thread = std::thread([this] { serve(); });
    }
    ~DiscardingServer()
    {
        ::shutdown(m_listener, SHUT_RDWR);
        m_thread.join();
        ::close(m_listener);
    }

    int port() const { return m_port; }
    // Body bytes of the last finished request.
    std::uint64_t lastBodyBytes() const { return m_lastBody.load(); }

private:
    void serve()
    {
        for (;;) {
            const int connection = ::accept4(m_listener, nullptr, nullptr, SOCK_CLOEXEC);
            if (connection < 0)
                return;
            handle(connection);
            ::close(connection);
        }
    }

    void handle(int connection)
    {
        std::string head;
        std::size_t headerEnd = std::string::npos;
        while (headerEnd == std::string::npos) {
            const ssize_t got = ::recv(connection, m_buffer.data(), 64 * 1024, 0);
            if (got <= 0)
                return;
            head.append(m_buffer.data(), static_cast<std::size_t>(got));
            headerEnd = head.find("\r\n\r\n");
        }
        std::string lower = head.substr(0, headerEnd);
        std::transform(lower.begin(), lower.end(), lower.begin(), [](unsigned char c) { return std::tolower(c); });
        const std::size_t lengthAt = lower.find("\r\ncontent-length:");
        const std::uint64_t contentLength
            = lengthAt == std::string::npos ? 0 : std::strtoull(lower.c_str() + lengthAt + 17, nullptr, 10);
        if (lower.find("\r\nexpect: 100-continue") != std::string::npos)
            sendAll(connection, "HTTP/1.1 100 Continue\r\n\r\n");
        std::uint64_t received = head.size() - headerEnd - 4;
        while (received < contentLength) {
            const ssize_t got = ::recv(connection, m_buffer.data(), m_buffer.size(), 0);
            if (got <= 0)
                return;
            received += static_cast<std::uint64_t>(got);
        }
        m_lastBody.store(received);
        // Read as a job id by the job client and as an empty transcript by the OpenAI-compatible one.
        const std::string body = "{\"job_id\":\"bench\",\"text\":\"\",\"segments\":[],\"duration\":0}";
        sendAll(connection,
            "HTTP/1.1 200 OK\r\nContent-Type: application/json\r\nContent-Length: " + std::to_string(body.size())
                + "\r\nConnection: close\r\n\r\n" + body);
    }

    static void sendAll(int connection, const std::string& data)
    {
        std::size_t sent = 0;
        while (sent < data.size()) {
            const ssize_t n = ::send(connection, data.data() + sent, data.size() - sent, MSG_NOSIGNAL);
            if (n <= 0)
                return;
            sent += static_cast<std::size_t>(n);
        }
    }

    int m_listener = -1;
    int m_port = 0;
    std::vector<char> m_buffer;
    std::atomic<std::uint64_t> m_lastBody{0};
    std::thread m_thread;
};

// A field of /proc/self/status in kB ("VmRSS", "VmHWM").
long statusKb(const char* field)
{
    std::ifstream status("/proc/self/status");
    std::string line;
    const std::string prefix = std::string(field) + ":";
    while (std::getline(status, line))
        if (line.rfind(prefix, 0) == 0)
            return std::strtol(line.c_str() + prefix.size(), nullptr, 10);
    return 0;
}

// Makes VmHWM start again from the current resident size.
bool resetPeakRss()
{
    std::ofstream clear("/proc/self/clear_refs");
    clear << "5";
    clear.flush();
    return static_cast<bool>(clear);
}

// A WAV header for 16-bit mono 48 kHz PCM followed by a hole, so the file takes no disk space.
void makeSparseWav(const std::filesystem::path& path, std::uint64_t bytes)
{
    const std::uint32_t dataBytes = static_cast<std::uint32_t>(std::min<std::uint64_t>(bytes - 44, 0xFFFFFFFFu - 36));
    auto le32 = [](std::uint32_t v) {
        return std::string{
            static_cast<char>(v), static_cast<char>(v >> 8), static_cast<char>(v >> 16), static_cast<char>(v >> 24)};
    };
    auto le16 = [](std::uint16_t v) { return std::string{static_cast<char>(v), static_cast<char>(v >> 8)}; };
    const std::string header = "RIFF" + le32(dataBytes + 36) + "WAVE" + "fmt " + le32(16) + le16(1) + le16(1)
        + le32(48000) + le32(96000) + le16(2) + le16(16) + "data" + le32(dataBytes);
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    if (fd < 0 || ::write(fd, header.data(), header.size()) != static_cast<ssize_t>(header.size())
        || ::ftruncate(fd, static_cast<off_t>(bytes)) != 0)
        fail("cannot create " + path.string() + ": " + std::strerror(errno));
    ::close(fd);
}

double runCurl(const std::filesystem::path& file, const std::string& url)
{
    const std::string form = "audio=@" + file.string();
    std::vector<std::string> args = {"curl", "-sS", "-o", "/dev/null", "-F", form, url};
    std::vector<char*> argv;
    for (auto& arg : args)
        argv.push_back(arg.data());
    argv.push_back(nullptr);
    const auto start = Clock::now();
    pid_t child = 0;
    if (::posix_spawnp(&child, "curl", nullptr, nullptr, argv.data(), environ) != 0)
        fail("cannot run curl (is it installed?)");
    int status = 0;
    ::waitpid(child, &status, 0);
    const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0)
        fail("curl failed");
    return seconds;
}

} // namespace

int main(int argc, char** argv)
{
    std::uint64_t megabytes = 2048;
    int runs = 3;
    bool openai = false;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--openai")
            openai = true;
        else if (arg == "--megabytes" && i + 1 < argc)
            megabytes = std::strtoull(argv[++i], nullptr, 10);
        else if (arg == "--runs" && i + 1 < argc)
            runs = std::max(1, std::atoi(argv[++i]));
        else
            fail("usage: bench_upload [--megabytes N] [--runs K] [--openai]");
    }
    if (megabytes == 0)
        fail("--megabytes must be at least 1");

    const auto directory = std::filesystem::temp_directory_path() / ("palaverly-bench-" + std::to_string(::getpid()));
    std::filesystem::create_directories(directory);
    const auto file = directory / "audio.wav";
    makeSparseWav(file, megabytes * 1024 * 1024);
    const std::uint64_t fileBytes = std::filesystem::file_size(file);

    DiscardingServer server;
    const std::string baseUrl = "http://127.0.0.1:" + std::to_string(server.port());
    const palaverly::ASRClient client(baseUrl, std::make_shared<palaverly::SteadySleeper>());
    const palaverly::OpenAITranscriptionClient recognizer({baseUrl}, std::make_shared<palaverly::SteadySleeper>());
    // The error text of a failed upload, or nothing.
    const auto upload = [&](const std::filesystem::path& audio) -> std::optional<std::string> {
        if (openai) {
            auto transcript = recognizer.transcribe(audio, "/api/diarize/async", {});
            return transcript ? std::nullopt : std::optional(transcript.error().description());
        }
        auto jobId = client.submitJob(audio, "/api/diarize/async", {});
        return jobId ? std::nullopt : std::optional(jobId.error().description());
    };
    // One small upload first, so that libcurl's one-time set-up is not counted.
    {
        const auto warm = directory / "warm.wav";
        makeSparseWav(warm, 4096);
        if (upload(warm))
            fail("warm-up upload failed");
        std::filesystem::remove(warm);
    }

    double oursBest = 1e300;
    double curlBest = 1e300;
    long growthKb = 0;
    for (int run = 0; run < runs; ++run) {
        const long baselineKb = statusKb("VmRSS");
        const bool peakReset = resetPeakRss();
        const auto start = Clock::now();
        const auto failure = upload(file);
        const double ours = std::chrono::duration<double>(Clock::now() - start).count();
        if (failure)
            fail("upload failed: " + *failure);
        if (server.lastBodyBytes() < fileBytes)
            fail("the server received less than the file");
        const long peakKb = peakReset ? statusKb("VmHWM") : statusKb("VmRSS");
        growthKb = std::max(growthKb, peakKb - baselineKb);

        const double viaCurl = runCurl(file, baseUrl + "/api/diarize/async");
        if (server.lastBodyBytes() < fileBytes)
            fail("curl's upload did not arrive whole");
        std::printf("run %d ours_s %.3f curl_s %.3f\n", run + 1, ours, viaCurl);
        oursBest = std::min(oursBest, ours);
        curlBest = std::min(curlBest, viaCurl);
    }
    std::filesystem::remove_all(directory);

    const double rssMb = static_cast<double>(growthKb) / 1024.0;
    std::printf("file_mb %llu ours_best_s %.3f curl_best_s %.3f ours_mb_per_s %.0f\n",
        static_cast<unsigned long long>(megabytes), oursBest, curlBest, static_cast<double>(megabytes) / oursBest);
    std::printf("rss_mb %.1f time_ratio %.2f\n", rssMb, oursBest / curlBest);
    return 0;
}
