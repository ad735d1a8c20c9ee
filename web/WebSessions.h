// Who is signed in: sessions by their cookie's token, each with its CSRF token and expiry, and
// the slowing down of wrong passwords per address. Safe to use from several threads.
#pragma once

#include <chrono>
#include <map>
#include <mutex>
#include <optional>
#include <string>

struct TWebSession {
    std::string Token;  // the cookie's value
    std::string Csrf;   // what every changing request carries in X-CSRF-Token
    std::chrono::steady_clock::time_point Expires;
};

class TWebSessions {
  public:
    using TClock = std::chrono::steady_clock;
    // A session lasts this long after its last request.
    static constexpr std::chrono::hours IdleLimit{12};
    static constexpr size_t MaxSessions = 1000;

    TWebSession Create();
    // The session of Token, its expiry moved on; nothing for an unknown or expired one.
    std::optional<TWebSession> Find(const std::string& Token);
    void Remove(const std::string& Token);

    // Wrong passwords: after each, the address waits 1 s, then 2, 4, ... up to 60 s before it may
    // try again. Answers how many seconds the address must still wait (0: it may try now).
    int WaitSeconds(const std::string& Address);
    void Failed(const std::string& Address);
    void Succeeded(const std::string& Address);

  private:
    struct TFailures {
        int Count = 0;
        TClock::time_point NextTry;
    };
    std::mutex FMutex;
    std::map<std::string, TWebSession> FSessions;
    std::map<std::string, TFailures> FFailures;
};
