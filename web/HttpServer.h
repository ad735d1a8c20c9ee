// The HTTP server of mondrel-web. The HTTP library stays behind this file pair: handlers see
// plain requests and answer plain responses.
#pragma once

#include <cstddef>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <utility>
#include <vector>

struct THttpRequest {
    std::string Method;  // GET, POST, ...
    std::string Path;    // without the query, percent-decoded by the library
    std::map<std::string, std::string> Query;
    std::map<std::string, std::string> Headers;  // names in lower case
    std::string Body;
    std::string RemoteAddress;

    // A header's value, "" when absent; Name in lower case.
    std::string Header(const std::string& Name) const;
    // A query parameter, "" when absent.
    std::string Param(const std::string& Name) const;
};

struct THttpResponse {
    int Status = 200;
    std::string ContentType = "application/json";
    std::string Body;
    std::vector<std::pair<std::string, std::string>> Headers;
};

using THttpHandler = std::function<THttpResponse(const THttpRequest&)>;

struct THttpOptions {
    std::string Host = "127.0.0.1";
    int Port = 8480;       // 0: any free port
    std::string CertFile;  // both given: TLS
    std::string KeyFile;
    size_t MaxBody = 1024 * 1024;
    // Answers a request the library refused before any handler saw it (a body too large): the
    // status, and the one line that says why.
    std::function<THttpResponse(int Status)> Refused;
};

class THttpServer {
  public:
    // Binds the address; raises EMondrelError when it cannot (in use, no such address, a
    // certificate that does not load).
    THttpServer(const THttpOptions& Options, THttpHandler Handler);
    ~THttpServer();
    THttpServer(const THttpServer&) = delete;
    THttpServer& operator=(const THttpServer&) = delete;

    int Port() const;
    bool Tls() const;
    // Serves until Stop (from another thread or a signal handler's thread).
    void Run();
    void Stop();

  private:
    struct TImpl;
    std::unique_ptr<TImpl> FImpl;
};
