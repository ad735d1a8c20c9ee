// Two-way CalDAV sources: what changed here in the rows of the source goes to the server before
// the source is read again. An edited row updates its event (or, for one occurrence of a
// repeating event, becomes an override), a deleted row becomes an EXDATE or a DELETE, and an
// appointment added to the source becomes a new event. A write the server refuses because its
// copy changed meanwhile (412) keeps the server's version and says what was not written.
#pragma once

#include <map>
#include <string>
#include <vector>

#include "CalDavClient.h"
#include "DavTables.h"
#include "SourceRun.h"

struct TDavWriteBack {
    bool Wrote = false;
    std::vector<std::string> Lines;  // conflicts and refusals, for the user
};

// Events holds the source's resources by URL; what was written replaces its entry (new ETag),
// and State records what was written back and the conflicts.
TDavWriteBack WriteBack(TCalDavClient& Client, const TRunOptions& Run, TDavState& State,
                        std::map<std::string, TDavEvent>& Events);
