#include "WebSessions.h"

#include <algorithm>

#include "PasswordHash.h"

TWebSession TWebSessions::Create() {
    TWebSession session{RandomToken(32), RandomToken(32), TClock::now() + IdleLimit};
    std::lock_guard lock(FMutex);
    const auto now = TClock::now();
    std::erase_if(FSessions, [now](const auto& entry) { return entry.second.Expires <= now; });
    if (FSessions.size() >= MaxSessions) {
        // The one that expires first gives way.
        FSessions.erase(std::min_element(
            FSessions.begin(), FSessions.end(),
            [](const auto& a, const auto& b) { return a.second.Expires < b.second.Expires; }));
    }
    FSessions[session.Token] = session;
    return session;
}

std::optional<TWebSession> TWebSessions::Find(const std::string& Token) {
    std::lock_guard lock(FMutex);
    auto found = FSessions.find(Token);
    if (found == FSessions.end()) {
        return std::nullopt;
    }
    const auto now = TClock::now();
    if (found->second.Expires <= now) {
        FSessions.erase(found);
        return std::nullopt;
    }
    found->second.Expires = now + IdleLimit;
    return found->second;
}

void TWebSessions::Remove(const std::string& Token) {
    std::lock_guard lock(FMutex);
    FSessions.erase(Token);
}

int TWebSessions::WaitSeconds(const std::string& Address) {
    std::lock_guard lock(FMutex);
    auto found = FFailures.find(Address);
    if (found == FFailures.end()) {
        return 0;
    }
    auto left = std::chrono::ceil<std::chrono::seconds>(found->second.NextTry - TClock::now());
    return left.count() > 0 ? static_cast<int>(left.count()) : 0;
}

void TWebSessions::Failed(const std::string& Address) {
    std::lock_guard lock(FMutex);
    if (FFailures.size() > 10000) {
        FFailures.clear();  // a flood of addresses must not eat the memory
    }
    TFailures& failures = FFailures[Address];
    failures.Count = std::min(failures.Count + 1, 7);
    failures.NextTry =
        TClock::now() + std::chrono::seconds(std::min(1 << (failures.Count - 1), 60));
}

void TWebSessions::Succeeded(const std::string& Address) {
    std::lock_guard lock(FMutex);
    FFailures.erase(Address);
}
