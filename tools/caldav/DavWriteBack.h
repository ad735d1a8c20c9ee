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
#include "Core.Mondrel_Types.h"
#include "DavTables.h"
#include "SourceRun.h"

struct TDavWriteBack {
    bool Wrote = false;
    std::vector<std::string> Lines;  // conflicts and refusals, for the user
};

// Events holds the source's resources by URL; what was written replaces its entry (in the file
// too, with the rows' records), and State records what was written back and the conflicts. The
// rows of conflicts are put back as the source last wrote them, so that the read that follows
// gives them the server's version. OffsetMinutes is the --offset the rows were shaped with:
// only what was edited in a row travels, its time less that offset, in the form the event gave
// its times (a TZID, UTC, floating or a day).
TDavWriteBack WriteBack(TCalDavClient& Client, const TRunOptions& Run, TDavState& State,
                        std::map<std::string, TDavEvent>& Events, int64_t OffsetMinutes);

// The text of the resource at Url with a UID in each event that has none: the URL names it.
std::string EventWithUID(const std::string& Url, const std::string& Data);

// Adds Date to the two-way CalDAV source Source (add --source NAME): the row, and the record that
// makes it the source's, to be written to the server as a new event. Raises when Source is no
// two-way CalDAV source.
void AddDavAppointment(const std::string& Path, const std::string& Source,
                       const TMondrelDate& Date);
