#include "DavWriteBack.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <optional>
#include <set>

#include "CommandSupport.h"
#include "DBCnx.h"
#include "DBTransaction.h"
#include "ICalTextScan.h"
#include "ICalendarSupport.h"
#include "Sqlite3Db.h"
#include "TimeText.h"
#include "ToolTables.h"

namespace {

using namespace std::chrono;

constexpr size_t KeptConflicts = 20;

// The unfolded content lines of an iCalendar text.
std::vector<std::string> Unfold(const std::string& text) {
    std::vector<std::string> lines;
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find('\n', start);
        std::string line =
            text.substr(start, end == std::string::npos ? std::string::npos : end - start);
        if (!line.empty() && line.back() == '\r') {
            line.pop_back();
        }
        if (!line.empty() && (line[0] == ' ' || line[0] == '\t') && !lines.empty()) {
            lines.back() += line.substr(1);
        } else if (!line.empty()) {
            lines.push_back(line);
        }
        if (end == std::string::npos) {
            break;
        }
        start = end + 1;
    }
    return lines;
}

// Lines folded at 75 octets, never inside a UTF-8 character, with CRLF.
std::string Fold(const std::vector<std::string>& lines) {
    std::string text;
    for (const std::string& line : lines) {
        size_t start = 0;
        size_t limit = 75;
        while (line.size() - start > limit) {
            size_t cut = start + limit;
            while (cut > start && (static_cast<unsigned char>(line[cut]) & 0xC0) == 0x80) {
                --cut;
            }
            text += line.substr(start, cut - start) + "\r\n ";
            start = cut;
            limit = 74;
        }
        text += line.substr(start) + "\r\n";
    }
    return text;
}

std::string NameOf(const std::string& line) {
    return LowerCase(line.substr(0, line.find_first_of(";:")));
}

std::string ValueOf(const std::string& line) {
    return std::string(ICalLineValue(line));
}

std::string EscapeText(const std::string& text) {
    std::string escaped;
    for (char c : text) {
        if (c == '\\' || c == ';' || c == ',') {
            escaped += '\\';
            escaped += c;
        } else if (c == '\n') {
            escaped += "\\n";
        } else if (c != '\r') {
            escaped += c;
        }
    }
    return escaped;
}

// One VEVENT of a resource: its lines [Begin, End] in the unfolded text.
struct TBlock {
    size_t Begin = 0;
    size_t End = 0;
    std::string UID;
    std::string RecurrenceID;
};

std::vector<TBlock> Events(const std::vector<std::string>& lines) {
    std::vector<TBlock> blocks;
    int depth = 0;
    TBlock block;
    for (size_t i = 0; i < lines.size(); ++i) {
        std::string name = NameOf(lines[i]);
        std::string value = LowerCase(ValueOf(lines[i]));
        if (name == "begin") {
            ++depth;
            if (value == "vevent" && depth == 2) {
                block = TBlock{i, i, "", ""};
            }
        } else if (name == "end") {
            if (value == "vevent" && depth == 2) {
                block.End = i;
                blocks.push_back(block);
            }
            --depth;
        } else if (depth == 2 && name == "uid") {
            block.UID = ValueOf(lines[i]);
        } else if (depth == 2 && name == "recurrence-id") {
            block.RecurrenceID = ValueOf(lines[i]);
        }
    }
    return blocks;
}

bool HoldsUID(const std::string& data, const std::string& uid) {
    for (const TBlock& block : Events(Unfold(data))) {
        if (block.UID == uid) {
            return true;
        }
    }
    return false;
}

// "YYYYMMDD", "YYYYMMDDTHHMMSS" or with Z, read as a naive time.
std::optional<sys_seconds> NaiveStamp(const std::string& value) {
    int y = 0, mo = 0, d = 0, h = 0, mi = 0, s = 0;
    if (value.size() >= 8 && std::sscanf(value.c_str(), "%4d%2d%2d", &y, &mo, &d) == 3) {
        if (value.size() >= 15) {
            std::sscanf(value.c_str() + 9, "%2d%2d%2d", &h, &mi, &s);
        }
        return sys_days{year{y} / mo / d} + hours{h} + minutes{mi} + seconds{s};
    }
    return std::nullopt;
}

std::string StampText(sys_seconds at, bool day) {
    sys_days date = floor<days>(at);
    year_month_day ymd{date};
    hh_mm_ss<seconds> time{at - date};
    char text[32];
    if (day) {
        std::snprintf(text, sizeof text, "%04d%02u%02u", static_cast<int>(ymd.year()),
                      static_cast<unsigned>(ymd.month()), static_cast<unsigned>(ymd.day()));
    } else {
        std::snprintf(text, sizeof text, "%04d%02u%02uT%02d%02d%02d", static_cast<int>(ymd.year()),
                      static_cast<unsigned>(ymd.month()), static_cast<unsigned>(ymd.day()),
                      static_cast<int>(time.hours().count()),
                      static_cast<int>(time.minutes().count()),
                      static_cast<int>(time.seconds().count()));
    }
    return text;
}

sys_seconds RowStart(const TImportValues& values) {
    std::string digits;
    for (char c : values.Date + values.Time) {
        if (c >= '0' && c <= '9') {
            digits += c;
        }
    }
    return *NaiveStamp(digits.substr(0, 8) + "T" + digits.substr(8));
}

// Writes what the row says into the event's lines Begin..End: start (the length kept), summary
// and our own fields. Answers the new End.
size_t Rewrite(std::vector<std::string>& lines, size_t begin, size_t end,
               const TImportValues& values) {
    std::optional<sys_seconds> oldStart, oldEnd;
    bool allDay = false;
    std::vector<std::string> kept;
    for (size_t i = begin + 1; i < end; ++i) {
        std::string name = NameOf(lines[i]);
        if (name == "dtstart") {
            oldStart = NaiveStamp(ValueOf(lines[i]));
            allDay = ValueOf(lines[i]).size() == 8;
        } else if (name == "dtend") {
            oldEnd = NaiveStamp(ValueOf(lines[i]));
        }
        if (name != "dtstart" && name != "dtend" && name != "summary" &&
            name != "x-mondrel-summary" && name != "x-mondrel-value" &&
            name != "x-mondrel-script" && name != "sequence") {
            kept.push_back(lines[i]);
        }
    }
    sys_seconds start = RowStart(values);
    std::vector<std::string> written = {lines[begin]};
    written.insert(written.end(), kept.begin(), kept.end());
    written.push_back(std::string(allDay ? "DTSTART;VALUE=DATE:" : "DTSTART:") +
                      StampText(start, allDay));
    if (oldStart && oldEnd && *oldEnd >= *oldStart) {
        written.push_back(std::string(allDay ? "DTEND;VALUE=DATE:" : "DTEND:") +
                          StampText(start + (*oldEnd - *oldStart), allDay));
    }
    written.push_back("SUMMARY:" + EscapeText(values.Discription));
    written.push_back("X-MONDREL-VALUE:" + EscapeText(values.Value));
    written.push_back("X-MONDREL-SCRIPT:" + EscapeText(values.Script));
    written.push_back(lines[end]);
    lines.erase(lines.begin() + static_cast<std::ptrdiff_t>(begin),
                lines.begin() + static_cast<std::ptrdiff_t>(end) + 1);
    lines.insert(lines.begin() + static_cast<std::ptrdiff_t>(begin), written.begin(),
                 written.end());
    return begin + written.size() - 1;
}

std::string DtStamp() {
    return "DTSTAMP:" + StampText(floor<seconds>(system_clock::now()), false) + "Z";
}

std::string RecurrenceLine(const std::string& occurrence, const char* name) {
    return std::string(name) + (occurrence.size() == 8 ? ";VALUE=DATE:" : ":") + occurrence;
}

// The event text with the row's change: the event itself, or the occurrence as an override.
std::string Edited(const std::string& data, const TImportRecord& record) {
    std::vector<std::string> lines = Unfold(data);
    std::vector<TBlock> blocks = Events(lines);
    for (const TBlock& block : blocks) {
        bool same = block.UID == record.Key.UID &&
                    (record.Key.Occurrence.empty() ? block.RecurrenceID.empty()
                                                   : block.RecurrenceID == record.Key.Occurrence);
        if (same) {
            Rewrite(lines, block.Begin, block.End, record.Current);
            return Fold(lines);
        }
    }
    for (const TBlock& block : blocks) {
        if (block.UID == record.Key.UID && block.RecurrenceID.empty()) {
            // A new override of the occurrence after the series; the series' start and end
            // give it its length.
            std::vector<std::string> added = {
                "BEGIN:VEVENT", "UID:" + record.Key.UID, DtStamp(),
                RecurrenceLine(record.Key.Occurrence, "RECURRENCE-ID")};
            for (size_t i = block.Begin + 1; i < block.End; ++i) {
                std::string name = NameOf(lines[i]);
                if (name == "dtstart" || name == "dtend") {
                    added.push_back(lines[i]);
                }
            }
            added.push_back("END:VEVENT");
            size_t at = block.End + 1;
            lines.insert(lines.begin() + static_cast<std::ptrdiff_t>(at), added.begin(),
                         added.end());
            Rewrite(lines, at, at + added.size() - 1, record.Current);
            return Fold(lines);
        }
    }
    return "";
}

// The event text without the occurrence: an EXDATE on the series, any override of it gone.
std::string WithoutOccurrence(const std::string& data, const TImportKey& key) {
    std::vector<std::string> lines = Unfold(data);
    std::vector<TBlock> blocks = Events(lines);
    for (auto block = blocks.rbegin(); block != blocks.rend(); ++block) {
        if (block->UID == key.UID && block->RecurrenceID == key.Occurrence) {
            lines.erase(lines.begin() + static_cast<std::ptrdiff_t>(block->Begin),
                        lines.begin() + static_cast<std::ptrdiff_t>(block->End) + 1);
        }
    }
    for (const TBlock& block : Events(lines)) {
        if (block.UID == key.UID && block.RecurrenceID.empty()) {
            lines.insert(lines.begin() + static_cast<std::ptrdiff_t>(block.End),
                         RecurrenceLine(key.Occurrence, "EXDATE"));
            return Fold(lines);
        }
    }
    return "";
}

std::string NewEvent(const std::string& uid, const TImportValues& values) {
    std::vector<std::string> lines = {
        "BEGIN:VCALENDAR", "VERSION:2.0",  "PRODID:-//mondrel-db//caldav//EN",
        "BEGIN:VEVENT",    "UID:" + uid,   DtStamp(),
        "END:VEVENT",      "END:VCALENDAR"};
    lines.insert(lines.begin() + 6, "DTSTART:" + StampText(RowStart(values), false));
    Rewrite(lines, 3, 7, values);
    return Fold(lines);
}

std::string When(const TImportValues& values) {
    return values.Date + " " + values.Time.substr(0, 5);
}

// The server's version of the record's occurrence, as "'Dentist' 2027-03-04 09:00".
std::string ServerVersion(const std::string& data, const TImportKey& key, const TRunOptions& run,
                          TImportValues* values) {
    try {
        TICalendar calendar = ReadICalendar(data, {ToStamp(run.From), ToStamp(run.Until)});
        for (const TICalEvent& event : calendar.Events) {
            if (event.UID != key.UID) {
                continue;
            }
            for (const TICalOccurrence& occurrence : event.Occurrences) {
                if (occurrence.RecurrenceID == key.Occurrence) {
                    values->Discription = event.Summary;
                    values->Date = DateToDBText('-', StampDay(occurrence.Start));
                    values->Time = FormatLongTime(StampTime(occurrence.Start));
                    return "'" + Printable(event.Summary) + "' " + When(*values);
                }
            }
        }
    } catch (const std::exception&) {
    }
    return "version";
}

std::string Yours(const TImportValues& mine, const TImportValues& server) {
    std::string text;
    if (mine.Discription != server.Discription) {
        text = "'" + Printable(mine.Discription) + "' ";
    }
    return text + (mine.Date == server.Date ? mine.Time.substr(0, 5) : When(mine));
}

const TDavEvent* ResourceOf(const std::map<std::string, TDavEvent>& events,
                            const std::string& uid) {
    for (const auto& [url, event] : events) {
        if (event.Data.find(uid) != std::string::npos && HoldsUID(event.Data, uid)) {
            return &event;
        }
    }
    return nullptr;
}

std::string NewEventUrl(const std::string& calendar, const std::string& uid) {
    std::string name;
    for (char c : uid) {
        bool plain = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
                     c == '-' || c == '.' || c == '_';
        name += plain ? c : '_';
    }
    return (calendar.empty() || calendar.back() != '/' ? calendar + "/" : calendar) + name + ".ics";
}

bool IsOk(long status) {
    return status >= 200 && status <= 299;
}

}  // namespace

TDavWriteBack WriteBack(TCalDavClient& Client, const TRunOptions& Run, TDavState& State,
                        std::map<std::string, TDavEvent>& Events) {
    TDavWriteBack result;
    std::vector<TImportRecord> records;
    {
        TSqliteDatabase database(Run.Path);
        records = ReadImportRecords(database, State.Source);
    }
    struct TDone {
        int64_t RecordID = 0;
        enum { Synced, Forget, PutBack } What = Synced;
        TImportValues Values;
        int64_t RowID = 0;
    };
    std::vector<TDone> done;
    size_t changed = 0, deleted = 0, added = 0;
    std::vector<std::string> conflicts;
    // Occurrences of one event are written one after the other, each on the last version.
    for (const TImportRecord& record : records) {
        bool edited = record.RowExists && !(record.Current.Date == record.Last.Date &&
                                            record.Current.Time == record.Last.Time &&
                                            record.Current.Discription == record.Last.Discription &&
                                            record.Current.Value == record.Last.Value &&
                                            record.Current.Script == record.Last.Script);
        const TDavEvent* resource = ResourceOf(Events, record.Key.UID);
        bool fresh = resource == nullptr && record.RowExists && record.Key.Occurrence.empty() &&
                     record.Key.UID.rfind("caldav-", 0) == 0;
        if (!edited && record.RowExists && !fresh) {
            continue;
        }
        if (resource == nullptr && !fresh) {
            continue;  // the event is gone from the server: the read removes what is left
        }
        std::string url = fresh ? NewEventUrl(State.Calendar, record.Key.UID) : resource->Url;
        std::string etag = fresh ? "" : resource->ETag;
        TDavWrite write;
        std::string data;
        if (fresh) {
            data = NewEvent(record.Key.UID, record.Current);
            write = Client.Put(url, data, "");
        } else if (!record.RowExists && record.Key.Occurrence.empty()) {
            write = Client.Delete(url, etag);
        } else {
            data = record.RowExists ? Edited(resource->Data, record)
                                    : WithoutOccurrence(resource->Data, record.Key);
            if (data.empty()) {
                continue;
            }
            write = Client.Put(url, data, etag);
        }
        if (IsOk(write.Status)) {
            result.Wrote = true;
            if (!record.RowExists) {
                ++deleted;
                if (data.empty()) {
                    Events.erase(url);
                } else {
                    Events[url] = {url, write.ETag, data};
                }
                done.push_back({record.RecordID, TDone::Forget, {}, 0});
            } else {
                ++(fresh ? added : changed);
                Events[url] = {url, write.ETag, data};
                done.push_back({record.RecordID, TDone::Synced, record.Current, 0});
            }
            continue;
        }
        if (write.Status == 412 && !fresh) {
            TImportValues server;
            std::string theirs = "version";
            std::vector<TDavResource> now = Client.Fetch(State.Calendar, {url});
            if (!now.empty()) {
                theirs = ServerVersion(now.front().Data, record.Key, Run, &server);
            }
            std::string line = "changed on both sides: kept the server's " + theirs + "; yours " +
                               (record.RowExists ? "was " + Yours(record.Current, server)
                                                 : std::string("was deleted"));
            conflicts.push_back(line);
            result.Lines.push_back(line);
            // The row goes back to what the source wrote, so that the read gives it the server's
            // version; a row deleted here comes back.
            done.push_back({record.RecordID, record.RowExists ? TDone::PutBack : TDone::Forget,
                            record.Last, record.ID});
            continue;
        }
        result.Lines.push_back("not written back: " + Printable(record.Current.Discription) + " " +
                               When(record.RowExists ? record.Current : record.Last) +
                               ": the server answered " + std::to_string(write.Status));
    }
    if (done.empty()) {
        return result;
    }
    InTransaction(Run.Path, TDBTransaction::AsWriter, [&](TDBTransaction& transaction) {
        TSqliteDatabase& database = transaction.Database();
        for (const TDone& item : done) {
            if (item.What == TDone::Synced) {
                UpdateImportRecord(database, item.RecordID, item.Values);
            } else if (item.What == TDone::Forget) {
                DeleteImportRecord(database, item.RecordID);
            } else {
                database.Execute(
                    "UPDATE Dates SET Date = ?, Time = ?, Discription = ?, Value = ?, Script = ? "
                    "WHERE ID = ?",
                    {item.Values.Date, item.Values.Time, item.Values.Discription, item.Values.Value,
                     item.Values.Script, item.RowID});
            }
        }
    });
    std::string stamp = RunStamp();
    if (changed + deleted + added > 0) {
        State.WrittenBack += static_cast<int64_t>(changed + deleted + added);
        State.LastWriteBack = stamp + ": " + std::to_string(changed) + " changed, " +
                              std::to_string(deleted) + " deleted, " + std::to_string(added) +
                              " new";
    }
    for (const std::string& line : conflicts) {
        State.Conflicts += (State.Conflicts.empty() ? "" : "\n") + stamp + " " + line;
    }
    std::vector<std::string> kept;
    for (size_t start = 0; start < State.Conflicts.size();) {
        size_t end = State.Conflicts.find('\n', start);
        kept.push_back(State.Conflicts.substr(start, end == std::string::npos ? end : end - start));
        start = end == std::string::npos ? State.Conflicts.size() : end + 1;
    }
    if (kept.size() > KeptConflicts) {
        State.Conflicts.clear();
        for (size_t i = kept.size() - KeptConflicts; i < kept.size(); ++i) {
            State.Conflicts += (State.Conflicts.empty() ? "" : "\n") + kept[i];
        }
    }
    return result;
}

void AddDavAppointment(const std::string& Path, const std::string& Source,
                       const TMondrelDate& Date) {
    // Before the write lock: the file's token may need one of its own.
    const std::string token = FileToken(Path);
    InTransaction(Path, TDBTransaction::AsWriter, [&](TDBTransaction& transaction) {
        TSqliteDatabase& database = transaction.Database();
        std::optional<TDavState> state = ReadDavState(database, Source);
        if (!state || !state->TwoWay) {
            throw EMondrelError("--source " + Printable(Source) +
                                " without --repeat names a two-way CalDAV source, and \"" +
                                Printable(Source) + "\" is none");
        }
        int64_t id = AddDate(transaction, Date);
        TWantedRow row;
        row.Key.UID = "caldav-" + std::to_string(id) + "-" + token + "@mondrel-db.local";
        row.Values.Date = DateToDBText('-', Date.Date);
        row.Values.Time = FormatLongTime(Date.Time);
        row.Values.Discription = Date.Discription;
        row.Values.Value = Date.Value;
        row.Values.Script = Date.Script;
        AddImportRecords(database, Source, {row}, {id});
    });
}
