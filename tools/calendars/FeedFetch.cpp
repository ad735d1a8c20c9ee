#include "FeedFetch.h"

#include <curl/curl.h>

#include <memory>

#include "CommandSupport.h"
#include "MondrelError.h"

namespace {

constexpr long MaxRedirects = 10;

struct TEasyCleanup {
    void operator()(CURL* handle) const noexcept { curl_easy_cleanup(handle); }
};
using TEasyHandle = std::unique_ptr<CURL, TEasyCleanup>;

struct TBody {
    std::string Text;
    size_t Limit = 0;
    bool TooLarge = false;
};

// Refusing the bytes (answering less than was offered) ends the transfer with
// CURLE_WRITE_ERROR; TooLarge tells that apart from other write failures.
size_t Collect(char* data, size_t size, size_t count, void* target) {
    TBody& body = *static_cast<TBody*>(target);
    size_t bytes = size * count;
    if (body.Text.size() + bytes > body.Limit) {
        body.TooLarge = true;
        return 0;
    }
    body.Text.append(data, bytes);
    return bytes;
}

// Global set-up is not thread-safe in libcurl; a function-local static runs it exactly once.
void InitialiseCurl() {
    static const CURLcode initialised = curl_global_init(CURL_GLOBAL_DEFAULT);
    if (initialised != CURLE_OK) {
        throw EMondrelError(std::string("cannot start the HTTP client: ") +
                            curl_easy_strerror(initialised));
    }
}

std::string SizeText(size_t bytes) {
    constexpr size_t mega = 1024 * 1024;
    return bytes % mega == 0 ? std::to_string(bytes / mega) + " MB"
                             : std::to_string(bytes) + " bytes";
}

}  // namespace

std::string ShownUrl(const std::string& Url) {
    size_t scheme = Url.find("://");
    if (scheme == std::string::npos) {
        return Url;
    }
    size_t authority = scheme + 3;
    size_t end = Url.find_first_of("/?#", authority);
    size_t at = Url.rfind('@', end == std::string::npos ? Url.size() : end);
    if (at == std::string::npos || at < authority) {
        return Url;
    }
    size_t colon = Url.find(':', authority);
    if (colon == std::string::npos || colon > at) {
        return Url;
    }
    return Url.substr(0, colon + 1) + "***" + Url.substr(at);
}

bool IsFeedUrl(const std::string& Location) {
    return StartsWithNoCase(Location, "http://") || StartsWithNoCase(Location, "https://") ||
           StartsWithNoCase(Location, "webcal://");
}

std::string FetchFeed(const std::string& Url, const TFeedLimits& Limits) {
    auto fail = [&](const std::string& reason) -> EMondrelError {
        return EMondrelError("cannot fetch \"" + Printable(ShownUrl(Url)) + "\": " + reason);
    };
    if (!IsFeedUrl(Url)) {
        throw fail("not an http://, https:// or webcal:// address");
    }
    // webcal:// is a calendar application's name for the same feed over https.
    std::string address = StartsWithNoCase(Url, "webcal://") ? "https://" + Url.substr(9) : Url;

    InitialiseCurl();
    TEasyHandle handle(curl_easy_init());
    if (!handle) {
        throw fail("cannot start the HTTP client");
    }
    CURL* curl = handle.get();
    TBody body;
    body.Limit = Limits.MaxBodyBytes;
    char detail[CURL_ERROR_SIZE] = "";
    curl_easy_setopt(curl, CURLOPT_URL, address.c_str());
    curl_easy_setopt(curl, CURLOPT_ERRORBUFFER, detail);
    // Only the web: a redirect must not lead to file:// or another protocol.
    curl_easy_setopt(curl, CURLOPT_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(curl, CURLOPT_REDIR_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(curl, CURLOPT_FOLLOWLOCATION, 1L);
    curl_easy_setopt(curl, CURLOPT_MAXREDIRS, MaxRedirects);
    curl_easy_setopt(curl, CURLOPT_TIMEOUT, Limits.TimeoutSeconds);
    // Signals would interrupt the caller's process; the time-out works without them.
    curl_easy_setopt(curl, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(curl, CURLOPT_MAXFILESIZE_LARGE, static_cast<curl_off_t>(body.Limit));
    curl_easy_setopt(curl, CURLOPT_ACCEPT_ENCODING, "");  // whatever this build can decode
    curl_easy_setopt(curl, CURLOPT_USERAGENT, "mondrel-db");
    curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, Collect);
    curl_easy_setopt(curl, CURLOPT_WRITEDATA, &body);

    CURLcode result = curl_easy_perform(curl);
    if (body.TooLarge || result == CURLE_FILESIZE_EXCEEDED) {
        throw fail("the body is larger than " + SizeText(body.Limit));
    }
    if (result == CURLE_OPERATION_TIMEDOUT) {
        throw fail("no complete answer within " + std::to_string(Limits.TimeoutSeconds) + " s");
    }
    if (result == CURLE_PARTIAL_FILE) {
        throw fail("the body was cut off after " + std::to_string(body.Text.size()) + " bytes");
    }
    if (result == CURLE_TOO_MANY_REDIRECTS) {
        throw fail("more than " + std::to_string(MaxRedirects) + " redirects");
    }
    if (result != CURLE_OK) {
        // The error buffer names the host and port; libcurl's general text stands in without it.
        throw fail(detail[0] != '\0' ? Printable(detail) : curl_easy_strerror(result));
    }
    long status = 0;
    curl_easy_getinfo(curl, CURLINFO_RESPONSE_CODE, &status);
    if (status < 200 || status > 299) {
        throw fail("HTTP status " + std::to_string(status));
    }
    return std::move(body.Text);
}
