// CalDAV sources: an import reads the calendar's events of the window (calendar-query), a
// refresh asks only what changed since the stored sync token (or, on servers without one, the
// calendar's ctag and ETags) and fetches just those; the events kept go through the same engine
// as files and feeds.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "SourceRun.h"

// What import --caldav says of the account.
struct TDavAccountOptions {
    std::string User;
    std::string PasswordFile;  // as given; made absolute
    bool TwoWay = false;
};

// Runs Source (kind caldav, Location its calendar's URL): Account for a new import, nullopt
// for a refresh with what the source keeps. How many requests it took lands in *Requests.
TSourceRun RunDavSource(const TSource& Source, const TRunOptions& Run,
                        const std::optional<TDavAccountOptions>& Account, int* Requests = nullptr);

struct TToolStreams;
// Runs the CalDAV source Name as refresh would, at once, so that what changed here reaches the
// server; says on Streams what happened. Answers the exit status.
int WriteBackNow(const std::string& Path, const std::string& Name, TToolStreams& Streams);
// After edit or remove: WriteBackNow for each two-way CalDAV source that wrote one of the rows.
int WriteBackRows(const std::string& Path, const std::vector<int64_t>& IDs, TToolStreams& Streams);

struct TFinding;
// check's warnings of CalDAV sources: a server that refused the credentials at the last run, or
// has not answered for DavSilentDays.
constexpr int DavSilentDays = 7;
void AddDavFindings(const std::string& Path, std::vector<TFinding>& Findings);
