#include "HttpServer.h"

// Debian builds the library as a shared one with TLS; its pkg-config flags say so.
#include <httplib.h>

#include <cctype>

#include "MondrelError.h"

std::string THttpRequest::Header(const std::string& Name) const {
    auto found = Headers.find(Name);
    return found == Headers.end() ? std::string() : found->second;
}

std::string THttpRequest::Param(const std::string& Name) const {
    auto found = Query.find(Name);
    return found == Query.end() ? std::string() : found->second;
}

namespace {
constexpr size_t HttpThreads = 32;
}  // namespace

struct THttpServer::TImpl {
    std::unique_ptr<httplib::Server> Server;
    int Port = 0;
    bool Tls = false;
};

namespace {

std::string Lower(std::string text) {
    for (char& c : text) {
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    }
    return text;
}

THttpRequest Convert(const httplib::Request& request) {
    THttpRequest plain;
    plain.Method = request.method;
    plain.Path = request.path;
    for (const auto& [name, value] : request.params) {
        plain.Query.emplace(name, value);
    }
    for (const auto& [name, value] : request.headers) {
        plain.Headers.emplace(Lower(name), value);
    }
    plain.Body = request.body;
    plain.RemoteAddress = request.remote_addr;
    return plain;
}

// The body is moved, not copied: a month's answer is 17 kB.
void Apply(THttpResponse plain, httplib::Response& response) {
    response.status = plain.Status;
    for (const auto& [name, value] : plain.Headers) {
        response.set_header(name, value);
    }
    response.body = std::move(plain.Body);
    response.headers.erase("Content-Type");
    response.set_header("Content-Type", plain.ContentType);
}

}  // namespace

THttpServer::THttpServer(const THttpOptions& Options, THttpHandler Handler)
    : FImpl(std::make_unique<TImpl>()) {
    if (!Options.CertFile.empty()) {
        auto server =
            std::make_unique<httplib::SSLServer>(Options.CertFile.c_str(), Options.KeyFile.c_str());
        if (!server->is_valid()) {
            throw EMondrelError("the certificate " + Options.CertFile + " or the key " +
                                Options.KeyFile + " does not load");
        }
        FImpl->Server = std::move(server);
        FImpl->Tls = true;
    } else {
        FImpl->Server = std::make_unique<httplib::Server>();
    }
    httplib::Server& server = *FImpl->Server;
    server.set_payload_max_length(Options.MaxBody);
    server.set_read_timeout(10, 0);
    server.set_write_timeout(10, 0);
    server.set_keep_alive_timeout(5);
    // A response goes out as two writes (the headers, then the body): with Nagle's algorithm the
    // body would wait for the peer's delayed acknowledgement of the headers, up to 40 ms.
    server.set_tcp_nodelay(true);
    // The library's default closes a connection after 5 requests, so a page that loads its
    // month, day and flags pays a new connection (and a new thread task) every few requests.
    server.set_keep_alive_max_count(1000);
    // A kept-alive connection holds its thread while it waits: enough threads that a family's
    // phones and laptops (a browser opens up to six connections) do not queue behind each other.
    server.new_task_queue = [] { return new httplib::ThreadPool(HttpThreads); };
    auto handle = [Handler](const httplib::Request& request, httplib::Response& response) {
        // The library compresses every answer whose client accepts it, anew each time, and picks
        // brotli at its slowest setting when offered (browsers offer it): 24 ms of CPU for a
        // month's 17 kB, forty times the answer's own cost. On a home network the bytes cost
        // less than that, so answers go out as they are. The library decides from the request
        // once the handler has returned; the request is the library's own non-const object,
        // handed over as const.
        const_cast<httplib::Request&>(request).headers.erase("Accept-Encoding");
        Apply(Handler(Convert(request)), response);
    };
    const std::string any = R"(/.*)";
    server.Get(any, handle);
    server.Post(any, handle);
    server.Put(any, handle);
    server.Patch(any, handle);
    server.Delete(any, handle);
    server.Options(any, handle);
    // Requests the library refuses itself (413 for a body over MaxBody, 400 for a malformed
    // request) carry no body; they get their line here. Handlers' own answers have one.
    auto refused = Options.Refused;
    server.set_error_handler(httplib::Server::HandlerWithResponse(
        [refused](const httplib::Request&, httplib::Response& response) {
            if (response.body.empty() && refused) {
                Apply(refused(response.status), response);
                return httplib::Server::HandlerResponse::Handled;
            }
            return httplib::Server::HandlerResponse::Unhandled;
        }));
    server.set_exception_handler(
        [refused](const httplib::Request&, httplib::Response& response, std::exception_ptr) {
            Apply(refused ? refused(500) : THttpResponse{500, "text/plain", "internal error\n", {}},
                  response);
        });
    if (Options.Port == 0) {
        FImpl->Port = server.bind_to_any_port(Options.Host);
    } else if (server.bind_to_port(Options.Host, Options.Port)) {
        FImpl->Port = Options.Port;
    } else {
        FImpl->Port = -1;
    }
    if (FImpl->Port <= 0) {
        throw EMondrelError("cannot listen on " + Options.Host + ":" +
                            std::to_string(Options.Port) + " (in use, or no such address)");
    }
}

THttpServer::~THttpServer() {
    Stop();
}

int THttpServer::Port() const {
    return FImpl->Port;
}

bool THttpServer::Tls() const {
    return FImpl->Tls;
}

void THttpServer::Run() {
    FImpl->Server->listen_after_bind();
}

void THttpServer::Stop() {
    FImpl->Server->stop();
}
