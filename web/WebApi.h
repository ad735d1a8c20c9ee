// The JSON API and the page of mondrel-web: one route table from a method and a path pattern
// to a handler. Each handler reads its request into the arguments of the mondrel-db command or
// store operation it stands for and calls that; the server adds sign-in, CSRF and size checks,
// no rules of its own.
#pragma once

#include <atomic>
#include <memory>
#include <string>
#include <vector>

#include "ConnectionPool.h"
#include "HttpServer.h"
#include "ReadWriteGate.h"
#include "WebSessions.h"

struct TWebConfig {
    std::vector<std::string> Databases;  // the calendars, in the switcher's order
    std::string ScriptsDir;              // the host's scripts, offered in the editor
    std::string HistoryFile;             // the host's run history; "" or missing: none
    std::string PasswordHash;            // the password file's line
    std::string FirstPasswordFile;       // removed at the first sign-in; "": none
    bool Tls = false;
};

class TWebApi {
  public:
    explicit TWebApi(TWebConfig Config);
    ~TWebApi();
    TWebApi(const TWebApi&) = delete;
    TWebApi& operator=(const TWebApi&) = delete;
    // Never throws: every error becomes a response with a status and one line.
    THttpResponse Handle(const THttpRequest& Request);
    // The answer to a request the HTTP library refused before Handle saw it.
    static THttpResponse Refused(int Status);

  private:
    struct TRoute;
    std::vector<TRoute> MakeRoutes();
    // GET: the session's CSRF token, or 401; POST {"password": ...}: signs in; DELETE: out.
    THttpResponse Session(const THttpRequest& Request);
    // Raises 403 unless Origin names this server as the browser reached it.
    void CheckOrigin(const THttpRequest& Request) const;

    TWebConfig FConfig;
    TWebSessions FSessions;
    std::atomic<bool> FFirstPasswordGone{false};
    std::vector<TRoute> FRoutes;  // after FConfig, which its handlers read
    // One per database: the server's reads of a file share it, its writes hold it alone.
    std::vector<std::unique_ptr<TReadWriteGate>> FGates;
    // One per database: the connections the month and the day read it on.
    std::vector<std::unique_ptr<TConnectionPool>> FPools;
};
