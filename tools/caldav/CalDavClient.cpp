#include "CalDavClient.h"

#include <algorithm>
#include <set>

#include "CommandSupport.h"
#include "MondrelError.h"
#include "WebDavXml.h"

namespace {

constexpr const char* Dav = "DAV:";
constexpr const char* CalDav = "urn:ietf:params:xml:ns:caldav";
constexpr const char* CalServer = "http://calendarserver.org/ns/";
constexpr const char* AppleICal = "http://apple.com/ns/ical/";

constexpr const char* XmlHead = "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n";
constexpr size_t HrefsPerMultiget = 200;

// One response of a multistatus answer: its URL, its own status (removed members of a sync
// answer, truncation) and the properties the server found.
struct TDavResponse {
    std::string Url;
    long Status = 0;  // of the response itself; 0 when it has propstats instead
    std::vector<const TXmlElement*> Props;

    const TXmlElement* Prop(const char* Ns, const char* Local) const {
        for (const TXmlElement* prop : Props) {
            if (prop->Is(Ns, Local)) {
                return prop;
            }
        }
        return nullptr;
    }
    std::string Text(const char* Ns, const char* Local) const {
        const TXmlElement* prop = Prop(Ns, Local);
        return prop == nullptr ? "" : prop->Text;
    }
};

long StatusOf(const std::string& line) {
    // "HTTP/1.1 404 Not Found"
    size_t space = line.find(' ');
    return space == std::string::npos ? 0 : std::atol(line.c_str() + space + 1);
}

std::string Trimmed(std::string text) {
    size_t first = text.find_first_not_of(" \t\r\n");
    size_t last = text.find_last_not_of(" \t\r\n");
    return first == std::string::npos ? "" : text.substr(first, last - first + 1);
}

// A collection's URL ends with a slash; compared so, a server that leaves it off still matches.
std::string WithSlash(std::string url) {
    if (url.empty() || url.back() != '/') {
        url += '/';
    }
    return url;
}

std::string HrefText(const TXmlElement* parent, const std::string& base) {
    const TXmlElement* href = parent == nullptr ? nullptr : parent->Child(Dav, "href");
    return href == nullptr ? "" : ResolveUrl(base, Trimmed(href->Text));
}

std::vector<std::string> HrefsOf(const TXmlElement* parent, const std::string& base) {
    std::vector<std::string> urls;
    if (parent != nullptr) {
        for (const TXmlElement* href : parent->All(Dav, "href")) {
            urls.push_back(ResolveUrl(base, Trimmed(href->Text)));
        }
    }
    return urls;
}

// The path of an absolute URL, as hrefs in a request name it.
std::string UrlPath(const std::string& url) {
    size_t scheme = url.find("://");
    size_t path = scheme == std::string::npos ? 0 : url.find('/', scheme + 3);
    return path == std::string::npos ? "/" : url.substr(path);
}

std::string ServerAnswer(const THttpAnswer& answer) {
    auto status = answer.Headers.find(":status");
    std::string line =
        status != answer.Headers.end() ? status->second : "HTTP " + std::to_string(answer.Status);
    size_t space = line.find(' ');
    return Printable(space == std::string::npos ? line : line.substr(space + 1));
}

std::string Where(const std::string& url) {
    return "\"" + Printable(HiddenCredentials(url)) + "\"";
}

// The one line of an answer that is not the one hoped for.
[[noreturn]] void Refuse(const std::string& url, const THttpAnswer& answer) {
    if (answer.Status == 401) {
        throw ECredentialsRefused(Where(url) + " refused the credentials (the server answered " +
                                  ServerAnswer(answer) + ")");
    }
    throw EMondrelError(Where(url) + " answered " + ServerAnswer(answer));
}

std::vector<TDavResponse> ReadMultistatus(const TXmlElement& root, const std::string& base) {
    std::vector<TDavResponse> responses;
    for (const TXmlElement* response : root.All(Dav, "response")) {
        TDavResponse read;
        read.Url = HrefText(response, base);
        if (const TXmlElement* status = response->Child(Dav, "status")) {
            read.Status = StatusOf(Trimmed(status->Text));
        }
        for (const TXmlElement* propstat : response->All(Dav, "propstat")) {
            const TXmlElement* status = propstat->Child(Dav, "status");
            long code = status == nullptr ? 200 : StatusOf(Trimmed(status->Text));
            const TXmlElement* prop = propstat->Child(Dav, "prop");
            if (code >= 200 && code <= 299 && prop != nullptr) {
                for (const TXmlElement& child : prop->Children) {
                    read.Props.push_back(&child);
                }
            }
        }
        responses.push_back(std::move(read));
    }
    return responses;
}

bool IsHtml(const THttpAnswer& answer) {
    auto type = answer.Headers.find("content-type");
    return type != answer.Headers.end() &&
           LowerCase(type->second).find("html") != std::string::npos;
}

std::string PropfindBody(const std::string& props) {
    return std::string(XmlHead) + "<D:propfind xmlns:D=\"DAV:\" xmlns:C=\"" + CalDav +
           "\" xmlns:CS=\"" + CalServer + "\" xmlns:A=\"" + AppleICal + "\"><D:prop>" + props +
           "</D:prop></D:propfind>";
}

bool HoldsEvents(const TDavResponse& response) {
    const TXmlElement* type = response.Prop(Dav, "resourcetype");
    if (type == nullptr || type->Child(CalDav, "calendar") == nullptr) {
        return false;
    }
    const TXmlElement* components = response.Prop(CalDav, "supported-calendar-component-set");
    if (components == nullptr || components->Children.empty()) {
        return true;  // without the property a calendar may hold every component
    }
    for (const TXmlElement* comp : components->All(CalDav, "comp")) {
        if (comp->Attribute("name") == "VEVENT") {
            return true;
        }
    }
    return false;
}

bool MayWrite(const TDavResponse& response) {
    const TXmlElement* privileges = response.Prop(Dav, "current-user-privilege-set");
    if (privileges == nullptr) {
        return true;  // not said: the first write will tell
    }
    for (const TXmlElement* privilege : privileges->All(Dav, "privilege")) {
        for (const TXmlElement& which : privilege->Children) {
            if (which.Namespace == Dav &&
                (which.Name == "all" || which.Name == "write" || which.Name == "write-content")) {
                return true;
            }
        }
    }
    return false;
}

std::string Colour(const TDavResponse& response) {
    std::string colour = Trimmed(response.Text(AppleICal, "calendar-color"));
    // Some servers add an alpha byte: #RRGGBBAA.
    if (colour.size() == 9 && colour[0] == '#') {
        colour.resize(7);
    }
    return colour;
}

}  // namespace

TCalDavClient::TCalDavClient(TDavAccount Account, const TFeedLimits& Limits)
    : FAccount(std::move(Account)), FSession(Limits, FAccount.Auth) {}

THttpAnswer TCalDavClient::Send(const std::string& Method, const std::string& Url,
                                const std::string& Depth, const std::string& Body,
                                std::vector<std::string> Headers) {
    THttpRequest request;
    request.Method = Method;
    request.Url = Url;
    request.Body = Body;
    request.User = FAccount.User;
    request.Password = FAccount.Password;
    if (!Depth.empty()) {
        Headers.push_back("Depth: " + Depth);
    }
    if (!Body.empty()) {
        Headers.push_back(Body.rfind("BEGIN:VCALENDAR", 0) == 0
                              ? "Content-Type: text/calendar; charset=utf-8"
                              : "Content-Type: application/xml; charset=utf-8");
    }
    Headers.push_back("Expect:");  // no 100-continue round trip for small bodies
    request.Headers = std::move(Headers);
    return FSession.Send(request);
}

namespace {

// The multistatus of a PROPFIND or REPORT, or one line saying why there is none.
std::vector<TDavResponse> Multistatus(const THttpAnswer& answer, TXmlElement& root) {
    // A web server that is no WebDAV server answers its page (200), whatever was asked.
    if (IsHtml(answer) && answer.Status != 401 && answer.Status < 300) {
        throw EMondrelError(Where(answer.Url) +
                            " answered a web page, not WebDAV: is it the "
                            "address of a CalDAV server or calendar?");
    }
    if (answer.Status != 207) {
        Refuse(answer.Url, answer);
    }
    root = ReadXml(answer.Body, "the answer of " + Where(answer.Url));
    if (!root.Is(Dav, "multistatus")) {
        throw EMondrelError("the answer of " + Where(answer.Url) + " is no WebDAV multistatus");
    }
    return ReadMultistatus(root, answer.Url);
}

}  // namespace

std::vector<TDavCalendar> TCalDavClient::Discover(const std::string& Url) {
    const std::string props =
        "<D:current-user-principal/><D:resourcetype/><D:displayname/>"
        "<C:supported-calendar-component-set/><D:current-user-privilege-set/><D:owner/>"
        "<A:calendar-color/>";
    auto propfind = [&](const std::string& url, const std::string& depth, const std::string& p,
                        TXmlElement& root) {
        return Multistatus(Send("PROPFIND", url, depth, PropfindBody(p)), root);
    };

    TXmlElement root;
    std::vector<TDavResponse> start;
    std::string base = Url;
    try {
        start = propfind(base, "0", props, root);
    } catch (const ECredentialsRefused&) {
        throw;
    } catch (const EMondrelError&) {
        // A server's root that is no WebDAV resource: where the server says its service is.
        std::string wellKnown = ResolveUrl(Url, "/.well-known/caldav");
        start = propfind(wellKnown, "0", props, root);
        base = wellKnown;
    }
    if (start.empty()) {
        throw EMondrelError(Where(Url) + " answered no properties");
    }
    std::vector<TDavCalendar> calendars;
    std::set<std::string> seen;
    std::string principal = HrefText(start.front().Prop(Dav, "current-user-principal"), base);
    auto add = [&](const TDavResponse& response, bool shared) {
        std::string url = WithSlash(response.Url);
        if (!HoldsEvents(response) || !seen.insert(url).second) {
            return;
        }
        std::string owner = HrefText(response.Prop(Dav, "owner"), response.Url);
        TDavCalendar calendar;
        calendar.Url = response.Url;
        calendar.Name = Trimmed(response.Text(Dav, "displayname"));
        calendar.Colour = Colour(response);
        calendar.Writable = MayWrite(response);
        const TXmlElement* type = response.Prop(Dav, "resourcetype");
        calendar.Shared =
            shared ||
            (!owner.empty() && !principal.empty() && WithSlash(owner) != WithSlash(principal)) ||
            type->Child(CalServer, "shared") != nullptr;
        calendars.push_back(calendar);
    };
    if (HoldsEvents(start.front())) {  // the address of a calendar itself
        add(start.front(), false);
        return calendars;
    }
    if (principal.empty()) {
        throw EMondrelError(Where(Url) +
                            " names no calendar and no signed-in user "
                            "(current-user-principal)");
    }
    // The homes: the user's own, then those of the principals that share or delegate theirs.
    const std::string principalProps =
        "<C:calendar-home-set/><CS:calendar-proxy-read-for/><CS:calendar-proxy-write-for/>"
        "<D:group-membership/><D:principal-collection-set/>";
    TXmlElement principalRoot;
    std::vector<TDavResponse> own = propfind(principal, "0", principalProps, principalRoot);
    if (own.empty()) {
        throw EMondrelError(Where(principal) + " answered no properties");
    }
    std::vector<std::pair<std::string, bool>> homes;
    for (const std::string& home :
         HrefsOf(own.front().Prop(CalDav, "calendar-home-set"), principal)) {
        homes.emplace_back(home, false);
    }
    std::vector<std::string> others;
    for (const char* name : {"calendar-proxy-read-for", "calendar-proxy-write-for"}) {
        for (const std::string& other : HrefsOf(own.front().Prop(CalServer, name), principal)) {
            others.push_back(other);
        }
    }
    for (const std::string& other : HrefsOf(own.front().Prop(Dav, "group-membership"), principal)) {
        others.push_back(other);
    }
    // Servers that share by access rights list the other principals the user may read.
    for (const std::string& collection :
         HrefsOf(own.front().Prop(Dav, "principal-collection-set"), principal)) {
        TXmlElement listRoot;
        try {
            for (const TDavResponse& member :
                 propfind(collection, "1", "<D:resourcetype/>", listRoot)) {
                const TXmlElement* type = member.Prop(Dav, "resourcetype");
                if (type != nullptr && type->Child(Dav, "principal") != nullptr &&
                    WithSlash(member.Url) != WithSlash(principal)) {
                    others.push_back(member.Url);
                }
            }
        } catch (const EMondrelError&) {
            // Listing principals is often not allowed; the user's own homes remain.
        }
    }
    for (const std::string& other : others) {
        TXmlElement otherRoot;
        try {
            std::vector<TDavResponse> found =
                propfind(other, "0", "<C:calendar-home-set/>", otherRoot);
            if (!found.empty()) {
                for (const std::string& home :
                     HrefsOf(found.front().Prop(CalDav, "calendar-home-set"), other)) {
                    homes.emplace_back(home, true);
                }
            }
        } catch (const EMondrelError&) {
            // A principal the user may not read has no calendars for them either.
        }
    }
    if (homes.empty()) {
        throw EMondrelError(Where(principal) + " names no calendar home (calendar-home-set)");
    }
    std::set<std::string> homesSeen;
    for (const auto& [home, shared] : homes) {
        if (!homesSeen.insert(WithSlash(home)).second) {
            continue;
        }
        TXmlElement homeRoot;
        std::vector<TDavResponse> members;
        try {
            members = propfind(home, "1", props, homeRoot);
        } catch (const EMondrelError&) {
            if (!shared) {
                throw;
            }
            continue;
        }
        for (const TDavResponse& member : members) {
            add(member, shared);
        }
    }
    return calendars;
}

TDavCollection TCalDavClient::Probe(const std::string& Url) {
    TXmlElement root;
    std::vector<TDavResponse> found = Multistatus(
        Send("PROPFIND", Url, "0",
             PropfindBody("<D:resourcetype/><D:displayname/><C:supported-calendar-component-set/>"
                          "<D:sync-token/><CS:getctag/>")),
        root);
    if (found.empty()) {
        throw EMondrelError(Where(Url) + " answered no properties");
    }
    TDavCollection collection;
    collection.Calendar = HoldsEvents(found.front());
    collection.Name = Trimmed(found.front().Text(Dav, "displayname"));
    collection.SyncToken = Trimmed(found.front().Text(Dav, "sync-token"));
    collection.CTag = Trimmed(found.front().Text(CalServer, "getctag"));
    if (!collection.Calendar) {
        throw EMondrelError(Where(Url) +
                            " is no calendar of events (mondrel-db calendars URL "
                            "lists the calendars of an account)");
    }
    return collection;
}

namespace {

std::vector<TDavResource> Resources(const std::vector<TDavResponse>& responses,
                                    const std::string& collection) {
    std::vector<TDavResource> resources;
    for (const TDavResponse& response : responses) {
        if (WithSlash(response.Url) == WithSlash(collection) || response.Status >= 300) {
            continue;
        }
        const TXmlElement* type = response.Prop(Dav, "resourcetype");
        if (type != nullptr && type->Child(Dav, "collection") != nullptr) {
            continue;
        }
        resources.push_back({response.Url, Trimmed(response.Text(Dav, "getetag")),
                             response.Text(CalDav, "calendar-data")});
    }
    return resources;
}

}  // namespace

std::vector<TDavResource> TCalDavClient::Query(const std::string& Url, const std::string& From,
                                               const std::string& Until) {
    std::string body = std::string(XmlHead) + "<C:calendar-query xmlns:D=\"DAV:\" xmlns:C=\"" +
                       CalDav +
                       "\"><D:prop><D:getetag/><C:calendar-data/></D:prop><C:filter>"
                       "<C:comp-filter name=\"VCALENDAR\"><C:comp-filter name=\"VEVENT\">"
                       "<C:time-range start=\"" +
                       From + "\" end=\"" + Until +
                       "\"/></C:comp-filter></C:comp-filter></C:filter></C:calendar-query>";
    TXmlElement root;
    return Resources(Multistatus(Send("REPORT", Url, "1", body), root), Url);
}

std::vector<TDavResource> TCalDavClient::Fetch(const std::string& Url,
                                               const std::vector<std::string>& Urls) {
    std::vector<TDavResource> fetched;
    for (size_t first = 0; first < Urls.size(); first += HrefsPerMultiget) {
        std::string body = std::string(XmlHead) +
                           "<C:calendar-multiget xmlns:D=\"DAV:\" xmlns:C=\"" + CalDav +
                           "\"><D:prop><D:getetag/><C:calendar-data/></D:prop>";
        for (size_t i = first; i < std::min(Urls.size(), first + HrefsPerMultiget); ++i) {
            body += "<D:href>" + XmlEscape(UrlPath(Urls[i])) + "</D:href>";
        }
        body += "</C:calendar-multiget>";
        TXmlElement root;
        for (TDavResource& resource :
             Resources(Multistatus(Send("REPORT", Url, "1", body), root), Url)) {
            fetched.push_back(std::move(resource));
        }
    }
    return fetched;
}

TDavChanges TCalDavClient::Changes(const std::string& Url, const std::string& Token) {
    TDavChanges changes;
    changes.Token = Token;
    for (int round = 0;; ++round) {
        std::string body = std::string(XmlHead) +
                           "<D:sync-collection xmlns:D=\"DAV:\"><D:sync-token>" +
                           XmlEscape(changes.Token) +
                           "</D:sync-token><D:sync-level>1</D:sync-level><D:prop><D:getetag/>"
                           "</D:prop></D:sync-collection>";
        THttpAnswer answer = Send("REPORT", Url, "0", body);
        const long status = answer.Status;
        bool rejected = status == 400 || status == 403 || status == 409 || status == 410 ||
                        status == 412 || status == 500 || status == 501;
        if (rejected) {
            // The token has expired or was never the server's (403 valid-sync-token; some
            // servers answer 400, 409, 410 or even 500; 501: no sync after all): reading it all is
            // what is left. Any other answer (a web page, 404, 503) is the one line it is.
            changes.TokenRejected = true;
            changes.Answer = ServerAnswer(answer);
            return changes;
        }
        TXmlElement root;
        bool truncated = false;
        for (const TDavResponse& response : Multistatus(answer, root)) {
            if (WithSlash(response.Url) == WithSlash(Url)) {
                truncated = truncated || response.Status == 507;
            } else if (response.Status == 404) {
                changes.Removed.push_back(response.Url);
            } else if (response.Status == 0 || (response.Status >= 200 && response.Status < 300)) {
                changes.Changed.push_back(
                    {response.Url, Trimmed(response.Text(Dav, "getetag")), ""});
            }
        }
        const TXmlElement* token = root.Child(Dav, "sync-token");
        std::string next = token == nullptr ? "" : Trimmed(token->Text);
        if (!truncated || next.empty() || next == changes.Token || round == 1000) {
            if (!next.empty()) {
                changes.Token = next;
            }
            return changes;
        }
        changes.Token = next;
    }
}

std::vector<TDavResource> TCalDavClient::ETags(const std::string& Url) {
    TXmlElement root;
    return Resources(
        Multistatus(Send("PROPFIND", Url, "1", PropfindBody("<D:getetag/><D:resourcetype/>")),
                    root),
        Url);
}

TDavWrite TCalDavClient::Put(const std::string& Url, const std::string& Data,
                             const std::string& IfMatch) {
    THttpAnswer answer =
        Send("PUT", Url, "", Data, {IfMatch.empty() ? "If-None-Match: *" : "If-Match: " + IfMatch});
    if (answer.Status == 401) {
        Refuse(Url, answer);
    }
    auto etag = answer.Headers.find("etag");
    return {answer.Status, etag == answer.Headers.end() ? "" : etag->second};
}

TDavWrite TCalDavClient::Delete(const std::string& Url, const std::string& IfMatch) {
    std::vector<std::string> headers;
    if (!IfMatch.empty()) {
        headers.push_back("If-Match: " + IfMatch);
    }
    THttpAnswer answer = Send("DELETE", Url, "", "", headers);
    if (answer.Status == 401) {
        Refuse(Url, answer);
    }
    return {answer.Status, ""};
}
