#include "FeedFetch.h"

#include <curl/curl.h>

#include <map>
#include <memory>

#include "CommandSupport.h"
#include "ICalAdapter.h"
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

// The charset parameter of a Content-Type ("text/calendar; charset=ISO-8859-1"), or "".
std::string CharsetOf(const std::string& contentType) {
    std::string lower = LowerCase(contentType);
    size_t at = lower.find("charset=");
    if (at == std::string::npos) {
        return "";
    }
    size_t start = at + 8;
    size_t end = lower.find(';', start);
    return lower.substr(start, end == std::string::npos ? std::string::npos : end - start);
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

std::string FetchFeed(const std::string& Url, const TFeedLimits& Limits,
                      const TFeedAccount& Account) {
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
    if (!Account.User.empty()) {
        curl_easy_setopt(curl, CURLOPT_HTTPAUTH, CURLAUTH_BASIC | CURLAUTH_DIGEST);
        curl_easy_setopt(curl, CURLOPT_USERNAME, Account.User.c_str());
        curl_easy_setopt(curl, CURLOPT_PASSWORD, Account.Password.c_str());
    }

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
    if (status == 401) {
        bool signedIn = !Account.User.empty() || !SplitUrlAccount(Url).Account.User.empty();
        throw fail(
            !signedIn
                ? "HTTP status 401: the feed needs a sign-in (--user NAME --password-file FILE)"
                : "HTTP status 401: the server refused the user and password");
    }
    if (status < 200 || status > 299) {
        throw fail("HTTP status " + std::to_string(status));
    }
    // The charset the server declares wins over guessing from the bytes.
    char* type = nullptr;
    curl_easy_getinfo(curl, CURLINFO_CONTENT_TYPE, &type);
    return CalendarTextFromCharset(body.Text, type != nullptr ? CharsetOf(type) : "");
}

namespace {

struct TUrlCleanup {
    void operator()(CURLU* handle) const noexcept { curl_url_cleanup(handle); }
};
using TUrlHandle = std::unique_ptr<CURLU, TUrlCleanup>;

std::string UrlPart(CURLU* url, CURLUPart part, unsigned flags = 0) {
    char* text = nullptr;
    if (curl_url_get(url, part, &text, flags) != CURLUE_OK || text == nullptr) {
        return "";
    }
    std::string result = text;
    curl_free(text);
    return result;
}

TUrlHandle ParsedUrl(const std::string& text) {
    TUrlHandle url(curl_url());
    if (!url || curl_url_set(url.get(), CURLUPART_URL, text.c_str(), 0) != CURLUE_OK) {
        return nullptr;
    }
    return url;
}

size_t CollectHeader(char* data, size_t size, size_t count, void* target) {
    auto& headers = *static_cast<std::map<std::string, std::string>*>(target);
    size_t bytes = size * count;
    std::string line(data, bytes);
    if (line.rfind("HTTP/", 0) == 0) {
        headers.clear();  // a new answer: after a redirect or an authentication round trip
        while (!line.empty() && (line.back() == '\r' || line.back() == '\n')) {
            line.pop_back();
        }
        headers[":status"] = line;
        return bytes;
    }
    size_t colon = line.find(':');
    if (colon != std::string::npos) {
        std::string value = line.substr(colon + 1);
        size_t first = value.find_first_not_of(" \t");
        size_t last = value.find_last_not_of(" \t\r\n");
        headers[LowerCase(line.substr(0, colon))] =
            first == std::string::npos ? "" : value.substr(first, last - first + 1);
    }
    return bytes;
}

}  // namespace

TUrlAccount SplitUrlAccount(const std::string& Url) {
    TUrlAccount split;
    split.Url = Url;
    TUrlHandle url =
        ParsedUrl(StartsWithNoCase(Url, "webcal://") ? "https://" + Url.substr(9) : Url);
    if (!url) {
        return split;
    }
    split.Account.User = UrlPart(url.get(), CURLUPART_USER, CURLU_URLDECODE);
    split.Account.Password = UrlPart(url.get(), CURLUPART_PASSWORD, CURLU_URLDECODE);
    split.HasPassword = !split.Account.Password.empty();
    if (split.Account.User.empty() && !split.HasPassword) {
        return split;
    }
    // Cut the user information out of the text as given, so that the rest stays as written.
    size_t authority = Url.find("://") + 3;
    size_t end = Url.find_first_of("/?#", authority);
    size_t at = Url.rfind('@', end == std::string::npos ? Url.size() : end);
    if (at != std::string::npos && at >= authority) {
        split.Url = Url.substr(0, authority) + Url.substr(at + 1);
    }
    return split;
}

std::string HiddenCredentials(const std::string& Url) {
    size_t scheme = Url.find("://");
    if (scheme == std::string::npos) {
        return Url;
    }
    size_t hostEnd = Url.find_first_of("/?#", scheme + 3);
    size_t at = Url.rfind('@', hostEnd == std::string::npos ? Url.size() : hostEnd);
    if (at == std::string::npos || at < scheme + 3) {
        return Url;
    }
    std::string user = Url.substr(scheme + 3, at - scheme - 3);
    user = user.substr(0, user.find(':'));
    return Url.substr(0, scheme + 3) + user + ":***" + Url.substr(at);
}

std::string ResolveUrl(const std::string& Base, const std::string& Ref) {
    TUrlHandle url = ParsedUrl(Base);
    if (!url || curl_url_set(url.get(), CURLUPART_URL, Ref.c_str(), 0) != CURLUE_OK) {
        return Ref;
    }
    return UrlPart(url.get(), CURLUPART_URL);
}

std::string UrlOrigin(const std::string& Url) {
    TUrlHandle url = ParsedUrl(Url);
    if (!url) {
        return "";
    }
    return LowerCase(UrlPart(url.get(), CURLUPART_SCHEME) + "://" +
                     UrlPart(url.get(), CURLUPART_HOST) + ":" +
                     UrlPart(url.get(), CURLUPART_PORT, CURLU_DEFAULT_PORT));
}

THttpSession::THttpSession(const TFeedLimits& Limits, THttpAuth Auth)
    : FLimits(Limits), FAuth(Auth) {
    InitialiseCurl();
    FHandle = curl_easy_init();
    if (FHandle == nullptr) {
        throw EMondrelError("cannot start the HTTP client");
    }
}

THttpSession::~THttpSession() {
    curl_easy_cleanup(static_cast<CURL*>(FHandle));
}

THttpAnswer THttpSession::Send(const THttpRequest& Request) {
    CURL* curl = static_cast<CURL*>(FHandle);
    THttpAnswer answer;
    answer.Url = Request.Url;
    const std::string origin = UrlOrigin(Request.Url);
    for (long redirects = 0;; ++redirects) {
        auto fail = [&](const std::string& reason) -> EMondrelError {
            return EMondrelError("cannot reach \"" + Printable(HiddenCredentials(answer.Url)) +
                                 "\": " + reason);
        };
        if (!StartsWithNoCase(answer.Url, "http://") && !StartsWithNoCase(answer.Url, "https://")) {
            throw fail("not an http:// or https:// address");
        }
        TBody body;
        body.Limit = FLimits.MaxBodyBytes;
        answer.Headers.clear();
        char detail[CURL_ERROR_SIZE] = "";
        std::unique_ptr<curl_slist, void (*)(curl_slist*)> headers(nullptr, curl_slist_free_all);
        for (const std::string& header : Request.Headers) {
            curl_slist* more = curl_slist_append(headers.get(), header.c_str());
            if (more == nullptr) {
                throw fail("out of memory");
            }
            headers.release();
            headers.reset(more);
        }
        curl_easy_setopt(curl, CURLOPT_URL, answer.Url.c_str());
        curl_easy_setopt(curl, CURLOPT_ERRORBUFFER, detail);
        curl_easy_setopt(curl, CURLOPT_PROTOCOLS_STR, "http,https");
        curl_easy_setopt(curl, CURLOPT_FOLLOWLOCATION, 0L);
        curl_easy_setopt(curl, CURLOPT_TIMEOUT, FLimits.TimeoutSeconds);
        curl_easy_setopt(curl, CURLOPT_NOSIGNAL, 1L);
        curl_easy_setopt(curl, CURLOPT_ACCEPT_ENCODING, "");
        curl_easy_setopt(curl, CURLOPT_USERAGENT, "mondrel-db");
        curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, Collect);
        curl_easy_setopt(curl, CURLOPT_WRITEDATA, &body);
        curl_easy_setopt(curl, CURLOPT_HEADERFUNCTION, CollectHeader);
        curl_easy_setopt(curl, CURLOPT_HEADERDATA, &answer.Headers);
        curl_easy_setopt(curl, CURLOPT_HTTPHEADER, headers.get());
        if (Request.Body.empty()) {
            curl_easy_setopt(curl, CURLOPT_HTTPGET, 1L);
        } else {
            curl_easy_setopt(curl, CURLOPT_POSTFIELDS, Request.Body.c_str());
            curl_easy_setopt(curl, CURLOPT_POSTFIELDSIZE_LARGE,
                             static_cast<curl_off_t>(Request.Body.size()));
        }
        curl_easy_setopt(curl, CURLOPT_CUSTOMREQUEST,
                         Request.Method == "GET" ? nullptr : Request.Method.c_str());
        if (!Request.User.empty()) {
            long schemes = FAuth == THttpAuth::Basic    ? CURLAUTH_BASIC
                           : FAuth == THttpAuth::Digest ? CURLAUTH_DIGEST
                                                        : (CURLAUTH_BASIC | CURLAUTH_DIGEST);
            curl_easy_setopt(curl, CURLOPT_HTTPAUTH, schemes);
            curl_easy_setopt(curl, CURLOPT_USERNAME, Request.User.c_str());
            curl_easy_setopt(curl, CURLOPT_PASSWORD, Request.Password.c_str());
        } else {
            curl_easy_setopt(curl, CURLOPT_HTTPAUTH, CURLAUTH_NONE);
            curl_easy_setopt(curl, CURLOPT_USERNAME, nullptr);
            curl_easy_setopt(curl, CURLOPT_PASSWORD, nullptr);
        }
        CURLcode result = curl_easy_perform(curl);
        // The header list dies at the end of this pass; the handle must not keep pointing at it.
        curl_easy_setopt(curl, CURLOPT_HTTPHEADER, nullptr);
        ++FRequests;
        if (body.TooLarge) {
            throw fail("the answer is larger than " + SizeText(body.Limit));
        }
        if (result == CURLE_OPERATION_TIMEDOUT) {
            throw fail("no complete answer within " + std::to_string(FLimits.TimeoutSeconds) +
                       " s");
        }
        if (result == CURLE_PARTIAL_FILE) {
            throw fail("the answer was cut off after " + std::to_string(body.Text.size()) +
                       " bytes");
        }
        if (result != CURLE_OK) {
            throw fail(detail[0] != '\0' ? Printable(detail) : curl_easy_strerror(result));
        }
        curl_easy_getinfo(curl, CURLINFO_RESPONSE_CODE, &answer.Status);
        if (!Request.User.empty() && answer.Status != 401) {
            long avail = 0;
            curl_easy_getinfo(curl, CURLINFO_HTTPAUTH_AVAIL, &avail);
            if ((avail & CURLAUTH_DIGEST) != 0 && FAuth != THttpAuth::Basic) {
                FAuthUsed = THttpAuth::Digest;
            } else if ((avail & CURLAUTH_BASIC) != 0) {
                FAuthUsed = THttpAuth::Basic;
            }
        }
        bool redirect = answer.Status == 301 || answer.Status == 302 || answer.Status == 303 ||
                        answer.Status == 307 || answer.Status == 308;
        char* location = nullptr;
        curl_easy_getinfo(curl, CURLINFO_REDIRECT_URL, &location);
        if (!redirect || location == nullptr) {
            answer.Body = std::move(body.Text);
            return answer;
        }
        if (redirects == MaxRedirects) {
            throw fail("more than " + std::to_string(MaxRedirects) + " redirects");
        }
        std::string next = location;
        if (UrlOrigin(next) != origin) {
            throw fail("redirected to another server (\"" + Printable(HiddenCredentials(next)) +
                       "\"); give that address instead");
        }
        answer.Url = next;
    }
}
