#include "updater/AppcastFetcher.h"

#include <curl/curl.h>
#include <memory>
#include <mutex>

namespace palaverly {

namespace {

struct Transfer {
    std::string body;
    bool tooLarge = false;
    std::stop_token stop;
};

size_t collect(char* data, size_t size, size_t count, void* user)
{
    auto* transfer = static_cast<Transfer*>(user);
    const size_t bytes = size * count;
    if (transfer->body.size() + bytes > AppcastFetch::kMaxBytes) {
        transfer->tooLarge = true;
        return 0; // makes libcurl stop with CURLE_WRITE_ERROR
    }
    transfer->body.append(data, bytes);
    return bytes;
}

int progress(void* user, curl_off_t, curl_off_t, curl_off_t, curl_off_t)
{
    return static_cast<Transfer*>(user)->stop.stop_requested() ? 1 : 0;
}

struct EasyDeleter {
    void operator()(CURL* easy) const { curl_easy_cleanup(easy); }
};

} // namespace

AppcastFetch AppcastFetch::get(const std::string& url, const std::string& userAgent, std::stop_token stop)
{
    static std::once_flag initialised;
    std::call_once(initialised, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });

    AppcastFetch result;
    const std::unique_ptr<CURL, EasyDeleter> easy(curl_easy_init());
    if (!easy) {
        result.outcome = Outcome::transport;
        result.curlCode = CURLE_FAILED_INIT;
        result.text = curl_easy_strerror(CURLE_FAILED_INIT);
        return result;
    }
    Transfer transfer;
    transfer.stop = stop;
    char errorText[CURL_ERROR_SIZE] = {};
    CURL* handle = easy.get();
    curl_easy_setopt(handle, CURLOPT_URL, url.c_str());
    curl_easy_setopt(handle, CURLOPT_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(handle, CURLOPT_REDIR_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(handle, CURLOPT_FOLLOWLOCATION, 1L);
    curl_easy_setopt(handle, CURLOPT_MAXREDIRS, 5L);
    curl_easy_setopt(handle, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(handle, CURLOPT_CONNECTTIMEOUT, static_cast<long>(kConnectTimeout.count()));
    curl_easy_setopt(handle, CURLOPT_TIMEOUT, static_cast<long>(kTotalTimeout.count()));
    curl_easy_setopt(handle, CURLOPT_ACCEPT_ENCODING, "");
    curl_easy_setopt(handle, CURLOPT_USERAGENT, userAgent.c_str());
    curl_easy_setopt(handle, CURLOPT_ERRORBUFFER, errorText);
    curl_easy_setopt(handle, CURLOPT_WRITEFUNCTION, collect);
    curl_easy_setopt(handle, CURLOPT_WRITEDATA, &transfer);
    curl_easy_setopt(handle, CURLOPT_XFERINFOFUNCTION, progress);
    curl_easy_setopt(handle, CURLOPT_XFERINFODATA, &transfer);
    curl_easy_setopt(handle, CURLOPT_NOPROGRESS, 0L);

    const CURLcode code = curl_easy_perform(handle);
    curl_easy_getinfo(handle, CURLINFO_RESPONSE_CODE, &result.status);
    if (stop.stop_requested()) {
        result.outcome = Outcome::cancelled;
        return result;
    }
    if (transfer.tooLarge) {
        result.outcome = Outcome::tooLarge;
        return result;
    }
    if (code != CURLE_OK) {
        result.outcome = Outcome::transport;
        result.curlCode = static_cast<int>(code);
        result.text = errorText[0] != '\0' ? std::string(errorText) : std::string(curl_easy_strerror(code));
        return result;
    }
    if (result.status < 200 || result.status >= 300) {
        result.outcome = Outcome::http;
        return result;
    }
    result.body = std::move(transfer.body);
    return result;
}

} // namespace palaverly
