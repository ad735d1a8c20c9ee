#include "DavSource.h"

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <set>

#include "AccountPassword.h"
#include "CalDavClient.h"
#include "Clock.h"
#include "CommandSupport.h"
#include "CommandTable.h"
#include "DBCnx.h"
#include "DBTransaction.h"
#include "DatabaseCheck.h"
#include "DavTables.h"
#include "DavWriteBack.h"
#include "MondrelError.h"
#include "Shaping.h"
#include "Sqlite3Db.h"
#include "ToolTables.h"

namespace {

// A calendar of 10,000 events with their overrides is some megabytes; this leaves room.
constexpr size_t MaxDavAnswerBytes = 128 * 1024 * 1024;

std::string Day(TDateTime day) {
    return DateToDBText('-', day);
}

// Midnight UTC of Day as a CalDAV time-range bound; a day either side of the window covers
// every zone's idea of its first and last day.
std::string RangeStamp(TDateTime day) {
    std::string text = DateToDBText('-', day);
    std::string digits;
    for (char c : text) {
        if (c >= '0' && c <= '9') {
            digits += c;
        }
    }
    return digits + "T000000Z";
}

std::string CalendarText(const std::map<std::string, TDavEvent>& events) {
    std::string text;
    for (const auto& [url, event] : events) {
        text += EventWithUID(event.Url, event.Data);
        if (!text.empty() && text.back() != '\n') {
            text += "\r\n";
        }
    }
    if (text.empty()) {
        text =
            "BEGIN:VCALENDAR\r\nVERSION:2.0\r\nPRODID:-//mondrel-db//caldav//EN\r\n"
            "END:VCALENDAR\r\n";
    }
    return text;
}

std::string AuthName(THttpAuth auth, const std::string& before) {
    return auth == THttpAuth::Basic ? "basic" : auth == THttpAuth::Digest ? "digest" : before;
}

THttpAuth AuthOf(const std::string& name) {
    return name == "basic"    ? THttpAuth::Basic
           : name == "digest" ? THttpAuth::Digest
                              : THttpAuth::Any;
}

// The --offset the source's rows were shaped with, in minutes.
int64_t OffsetOf(const std::vector<std::string>& options) {
    for (size_t i = 0; i + 1 < options.size(); ++i) {
        if (options[i] == "--offset") {
            return ParseDuration(options[i + 1]).value_or(0);
        }
    }
    return 0;
}

void Fetch(TCalDavClient& client, const std::string& url, const std::vector<std::string>& urls,
           std::map<std::string, TDavEvent>& events) {
    if (urls.empty()) {
        return;
    }
    for (TDavResource& resource : client.Fetch(url, urls)) {
        events[resource.Url] = {resource.Url, resource.ETag, std::move(resource.Data)};
    }
}

}  // namespace

TSourceRun RunDavSource(const TSource& Source, const TRunOptions& Run,
                        const std::optional<TDavAccountOptions>& Account, int* Requests) {
    std::optional<TDavState> known;
    std::vector<TDavEvent> stored;
    int64_t offset = 0;  // of the rows as they are: the options they were written with
    {
        TSqliteDatabase database(Run.Path);
        known = ReadDavState(database, Source.Name);
        if (known) {
            stored = ReadDavEvents(database, Source.Name);
            if (std::optional<TSource> kept = FindSource(database, Source.Name)) {
                offset = OffsetOf(kept->Options);
            }
        }
    }
    TDavState state;
    if (known) {
        state = *known;
    }
    if (Account) {
        std::string file =
            Account->PasswordFile.empty()
                ? ""
                : std::filesystem::absolute(Account->PasswordFile).lexically_normal().string();
        if (!known || known->Calendar != Source.Location || known->User != Account->User) {
            state = TDavState{};
            stored.clear();
        }
        state.User = Account->User;
        state.PasswordFile = file;
        state.TwoWay = Account->TwoWay;
    } else if (!known) {
        throw EMondrelError("\"" + Printable(Source.Name) +
                            "\" keeps no CalDAV account; import it again with --caldav");
    }
    state.Source = Source.Name;
    state.Calendar = Source.Location;

    TFeedLimits limits;
    limits.MaxBodyBytes = MaxDavAnswerBytes;
    TCalDavClient client(
        {state.User, ReadAccountPassword(state.User, state.PasswordFile), AuthOf(state.Auth)},
        limits);
    std::map<std::string, TDavEvent> events;
    for (TDavEvent& event : stored) {
        std::string url = event.Url;
        events.emplace(url, std::move(event));
    }
    const std::string url = Source.Location;
    const std::string from = Day(Run.From);
    const std::string until = Day(Run.Until);
    bool changed = false;
    TDavWriteBack written;
    try {
        if (state.TwoWay && !Run.DryRun && known) {
            written = WriteBack(client, Run, state, events, offset);
            changed = changed || written.Wrote;
        }
        // Without a sync token the ctag says whether anything changed and the ETags what; a
        // server that offers neither is asked for the ETags every time.
        bool full = state.FetchedFrom.empty() || from < state.FetchedFrom;
        if (!full && !state.SyncToken.empty()) {
            TDavChanges changes = client.Changes(url, state.SyncToken);
            if (changes.TokenRejected) {
                Run.Warn("the server did not take the sync token (" + changes.Answer +
                         "); the calendar is read again");
                full = true;
            } else {
                for (const std::string& removed : changes.Removed) {
                    changed = events.erase(removed) != 0 || changed;
                }
                std::vector<std::string> wanted;
                for (const TDavResource& resource : changes.Changed) {
                    auto found = events.find(resource.Url);
                    if (found == events.end() || found->second.ETag != resource.ETag ||
                        resource.ETag.empty()) {
                        wanted.push_back(resource.Url);
                    }
                }
                Fetch(client, url, wanted, events);
                changed = changed || !wanted.empty() || changes.Token != state.SyncToken;
                state.SyncToken = changes.Token;
            }
        } else if (!full) {
            TDavCollection collection = client.Probe(url);
            if (collection.CTag.empty() || collection.CTag != state.CTag) {
                std::map<std::string, std::string> present;
                for (const TDavResource& resource : client.ETags(url)) {
                    present[resource.Url] = resource.ETag;
                }
                std::vector<std::string> wanted;
                for (auto it = events.begin(); it != events.end();) {
                    it = present.count(it->first) == 0 ? events.erase(it) : std::next(it);
                }
                for (const auto& [member, etag] : present) {
                    auto found = events.find(member);
                    if (found == events.end() || found->second.ETag != etag || etag.empty()) {
                        wanted.push_back(member);
                    }
                }
                Fetch(client, url, wanted, events);
                state.CTag = collection.CTag;
                changed = true;
            }
            state.SyncToken = collection.SyncToken;
        }
        if (full) {
            TDavCollection collection = client.Probe(url);
            state.SyncToken = collection.SyncToken;
            state.CTag = collection.CTag;
            events.clear();
            for (TDavResource& resource :
                 client.Query(url, RangeStamp(Run.From - 1), RangeStamp(Run.Until + 2))) {
                events[resource.Url] = {resource.Url, resource.ETag, std::move(resource.Data)};
            }
            state.FetchedFrom = from;
            state.FetchedUntil = until;
            changed = true;
        } else if (until > state.FetchedUntil) {
            // The window moved on: the days now in it that no read has covered yet.
            TDateTime last = DBTextToDate(state.FetchedUntil, '-');
            for (TDavResource& resource :
                 client.Query(url, RangeStamp(last + 1), RangeStamp(Run.Until + 2))) {
                events[resource.Url] = {resource.Url, resource.ETag, std::move(resource.Data)};
            }
            state.FetchedUntil = until;
            changed = true;
        }
    } catch (const ECredentialsRefused&) {
        if (known && !Run.DryRun) {
            InTransaction(Run.Path, TDBTransaction::AsWriter, [&](TDBTransaction& transaction) {
                TDavState refused = *known;
                refused.Refused = RunStamp();
                SaveDavState(transaction.Database(), refused);
            });
        }
        throw;
    }
    if (Requests != nullptr) {
        *Requests = client.Requests();
    }
    state.Auth = AuthName(client.AuthUsed(), state.Auth);
    state.Refused.clear();
    state.LastAnswer = RunStamp();

    TRunOptions run = Run;
    run.Text = CalendarText(events);
    run.AlsoWrite = [&](TSqliteDatabase& database) {
        CreateDavTables(database);
        SaveDavState(database, state);
        if (changed || !known) {
            std::vector<TDavEvent> kept;
            kept.reserve(events.size());
            for (const auto& [member, event] : events) {
                kept.push_back(event);
            }
            SaveDavEvents(database, Source.Name, kept);
        }
    };
    TSource source = Source;
    source.Kind = CalDavSource;
    TSourceRun result = RunSource(source, run);
    for (const std::string& line : written.Lines) {
        Run.Warn(line);
    }
    return result;
}

int WriteBackNow(const std::string& Path, const std::string& Name, TToolStreams& Streams) {
    std::optional<TSource> source;
    {
        TSqliteDatabase database(Path);
        source = FindSource(database, Name);
    }
    if (!source || source->Kind != CalDavSource) {
        return 0;
    }
    TRunOptions run;
    run.Path = Path;
    run.Command = "refresh";
    run.ReuseOptions = true;
    run.From = DateOf(Now());
    run.Until = run.From + DefaultHorizonDays;
    run.Warn = [&](const std::string& message) {
        Streams.Err << "mondrel-db: " << Printable(Name) << ": " << message << '\n';
    };
    try {
        RunDavSource(*source, run, std::nullopt);
    } catch (const std::exception& error) {
        Streams.Err << "mondrel-db: " << Printable(Name)
                    << ": not written to the server yet (refresh tries again): " << error.what()
                    << '\n';
        return 1;
    }
    return 0;
}

int WriteBackRows(const std::string& Path, const std::vector<int64_t>& IDs, TToolStreams& Streams) {
    std::set<std::string> sources;
    {
        TSqliteDatabase database(Path);
        if (IDs.empty() || !HasTable(database, "MondrelDavSources") ||
            !HasImportSources(database)) {
            return 0;
        }
        for (int64_t id : IDs) {
            auto row = database.Query(
                "SELECT i.Source FROM MondrelImports i JOIN MondrelDavSources s ON s.Source = "
                "i.Source WHERE i.ID = ? AND s.TwoWay = 1",
                {id});
            for (; !row->AtEnd(); row->Next()) {
                sources.insert(row->FieldAsText(0));
            }
        }
    }
    int status = 0;
    for (const std::string& name : sources) {
        status = std::max(status, WriteBackNow(Path, name, Streams));
    }
    return status;
}

void AddDavFindings(const std::string& Path, std::vector<TFinding>& Findings) {
    TSqliteDatabase database(Path);
    if (!HasTable(database, "MondrelDavSources")) {
        return;
    }
    const TDateTime now = Now();
    for (const TSource& source : ReadSources(database)) {
        std::optional<TDavState> state = ReadDavState(database, source.Name);
        if (source.Kind != CalDavSource || !state) {
            continue;
        }
        std::string name = "\"" + Printable(source.Name) + "\"";
        if (!state->Refused.empty()) {
            Findings.push_back({TFindingKind::Warning, "CalDAV credentials refused",
                                name + ": the server refused the user and password on " +
                                    state->Refused + " (change them in " +
                                    (state->PasswordFile.empty() ? "MONDREL_DAV_PASSWORD"
                                                                 : Printable(state->PasswordFile)) +
                                    ")"});
        }
        if (state->LastAnswer.size() >= 10) {
            TDateTime answered = DBTextToDate(state->LastAnswer.substr(0, 10), '-');
            if (now - answered >= DavSilentDays) {
                Findings.push_back(
                    {TFindingKind::Warning, "CalDAV server silent",
                     name + ": the server has not answered since " + state->LastAnswer});
            }
        }
    }
}
