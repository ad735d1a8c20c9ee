// A CalDAV client over THttpSession: finding an account's calendars, reading a calendar's events
// (all of a time range, the ones named, or what changed since a sync token) and writing one.
#pragma once

#include <string>
#include <vector>

#include "FeedFetch.h"
#include "MondrelError.h"

// The server refused the user and password (401).
class ECredentialsRefused : public EMondrelError {
  public:
    using EMondrelError::EMondrelError;
};

struct TDavAccount {
    std::string User;      // none: no credentials
    std::string Password;  // read from a file or the environment, never from the command line
    THttpAuth Auth = THttpAuth::Any;
};

struct TDavCalendar {
    std::string Url;  // absolute, as the server names it
    std::string Name;
    std::string Colour;  // "#RRGGBB", or empty
    bool Writable = false;
    bool Shared = false;  // another principal owns it, or the server marks it shared
};

// One calendar object resource: an event and its overrides.
struct TDavResource {
    std::string Url;
    std::string ETag;
    std::string Data;  // the iCalendar text; empty when only the ETag was asked for
};

struct TDavCollection {
    bool Calendar = false;  // a calendar collection that may hold VEVENTs
    std::string Name;
    std::string SyncToken;  // empty: the server offers no sync-collection
    std::string CTag;
};

struct TDavChanges {
    bool TokenRejected = false;         // the token is no longer valid: read everything again
    std::string Answer;                 // what the server answered to the token
    std::string Token;                  // the token to keep for the next time
    std::vector<TDavResource> Changed;  // with their new ETags, without data
    std::vector<std::string> Removed;   // URLs
};

// What a PUT or DELETE got: 2xx, 412 (the server's copy changed), or another status.
struct TDavWrite {
    long Status = 0;
    std::string ETag;  // of the new version, when the server says
};

class TCalDavClient {
  public:
    TCalDavClient(TDavAccount Account, const TFeedLimits& Limits);

    // The calendars of the account at Url (a server, a principal or a calendar): every
    // collection that may hold events, shared and delegated ones included.
    std::vector<TDavCalendar> Discover(const std::string& Url);
    // What the collection at Url is; raises with one line when it is no calendar.
    TDavCollection Probe(const std::string& Url);
    // Events with an occurrence between From and Until (UTC, "YYYYMMDDTHHMMSSZ").
    std::vector<TDavResource> Query(const std::string& Url, const std::string& From,
                                    const std::string& Until);
    // The events of these URLs, with data.
    std::vector<TDavResource> Fetch(const std::string& Url, const std::vector<std::string>& Urls);
    // What changed since Token, continued through truncated answers.
    TDavChanges Changes(const std::string& Url, const std::string& Token);
    // Every event URL and ETag, for servers without sync-collection.
    std::vector<TDavResource> ETags(const std::string& Url);

    // IfMatch empty: the event must be new (If-None-Match: *).
    TDavWrite Put(const std::string& Url, const std::string& Data, const std::string& IfMatch);
    TDavWrite Delete(const std::string& Url, const std::string& IfMatch);

    int Requests() const { return FSession.Requests(); }
    THttpAuth AuthUsed() const { return FSession.AuthUsed(); }

  private:
    THttpAnswer Send(const std::string& Method, const std::string& Url, const std::string& Depth,
                     const std::string& Body, std::vector<std::string> Headers = {});

    TDavAccount FAccount;
    THttpSession FSession;
};
