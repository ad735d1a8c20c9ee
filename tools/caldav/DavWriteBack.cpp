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

// The lines of two texts of an event alike but for when they were stamped and counted, in any
// order: a server may write a calendar's properties in an order of its own.
bool SameEvent(const std::string& a, const std::string& b) {
    auto lines = [](const std::string& text) {
        std::vector<std::string> kept;
        for (std::string& line : Unfold(text)) {
            std::string name = NameOf(line);
            if (name != "dtstamp" && name != "sequence" && name != "last-modified" &&
                name != "created") {
                kept.push_back(std::move(line));
            }
        }
        std::sort(kept.begin(), kept.end());
        return kept;
    };
    return lines(a) == lines(b);
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

TICalStamp StampOf(sys_seconds at) {
    sys_days date = floor<days>(at);
    year_month_day ymd{date};
    hh_mm_ss<seconds> time{at - date};
    return {static_cast<int>(ymd.year()),
            static_cast<int>(static_cast<unsigned>(ymd.month())),
            static_cast<int>(static_cast<unsigned>(ymd.day())),
            static_cast<int>(time.hours().count()),
            static_cast<int>(time.minutes().count()),
            static_cast<int>(time.seconds().count())};
}

std::string StampText(sys_seconds at) {
    TICalStamp stamp = StampOf(at);
    char text[32];
    std::snprintf(text, sizeof text, "%04d%02d%02dT%02d%02d%02d", stamp.Year, stamp.Month,
                  stamp.Day, stamp.Hour, stamp.Minute, stamp.Second);
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

std::string DtStamp() {
    return "DTSTAMP:" + StampText(floor<seconds>(system_clock::now())) + "Z";
}

// What one write changes in an event: the row as the source wrote it and as it is now, and what
// the source's shaping did to it.
struct TChange {
    const TImportRecord* Record = nullptr;
    std::string Text;           // the resource's calendar, whose zones its times may name
    int64_t OffsetMinutes = 0;  // the source's --offset: the event lies that much off its row
    bool NewOverride = false;   // an override made from its series: its times are written
};

// Writes what changed of the row into the event's lines Begin..End, and only that: its start
// (in the form the event gave it, the length kept, the source's offset undone), its summary and
// our own fields. Answers the new End.
size_t Rewrite(std::vector<std::string>& lines, size_t begin, size_t end, const TChange& change) {
    const TImportValues& now = change.Record->Current;
    const TImportValues& last = change.Record->Last;
    const bool timeEdited = now.Date != last.Date || now.Time != last.Time;
    const bool summaryEdited = now.Discription != last.Discription || change.NewOverride;
    bool fields = now.Value != last.Value || now.Script != last.Script;
    std::string start, finish;
    int sequence = 0;
    int depth = 0;
    for (size_t i = begin + 1; i < end; ++i) {
        std::string name = NameOf(lines[i]);
        depth += name == "begin" ? 1 : name == "end" ? -1 : 0;
        if (depth != 0 || name == "end") {
            continue;
        }
        if (name == "dtstart") {
            start = lines[i];
        } else if (name == "dtend") {
            finish = lines[i];
        } else if (name == "x-mondrel-value" || name == "x-mondrel-script") {
            fields = true;  // the event carries them: they follow the row
        } else if (name == "sequence") {
            sequence = std::atoi(ValueOf(lines[i]).c_str());
        }
    }
    const bool writeTimes = timeEdited || change.NewOverride;
    const bool onDays = ValueOf(start).size() == 8;
    // An all-day event stays one while its row keeps the time it was given; a row given
    // another time makes it an event at that time.
    const bool keepDays = onDays && now.Time == last.Time;
    TICalMovedTimes moved;
    if (writeTimes) {
        TICalStamp at;
        if (keepDays) {
            // Moved by as many days as its row: the row of the second day of a three-day event
            // moves the whole event.
            std::string from = change.NewOverride ? change.Record->Key.Occurrence : ValueOf(start);
            sys_days origin = floor<days>(NaiveStamp(from).value_or(RowStart(last)));
            at = StampOf(origin + (floor<days>(RowStart(now)) - floor<days>(RowStart(last))));
        } else {
            at = StampOf(RowStart(now) - minutes{change.OffsetMinutes});
        }
        moved = ICalMovedTimes(change.Text, start, finish, at, keepDays);
    }
    std::vector<std::string> properties = {lines[begin]};
    std::vector<std::string> components;  // alarms and the like, after the properties
    depth = 0;
    for (size_t i = begin + 1; i < end; ++i) {
        std::string name = NameOf(lines[i]);
        if (name == "begin" || depth > 0) {
            depth += name == "begin" ? 1 : name == "end" ? -1 : 0;
            components.push_back(lines[i]);
            continue;
        }
        bool replaced = name == "dtstamp" ||
                        (writeTimes && (name == "dtstart" || name == "dtend")) ||
                        (writeTimes && onDays && !keepDays && name == "duration") ||
                        (timeEdited && name == "sequence") ||
                        (summaryEdited && (name == "summary" || name == "x-mondrel-summary")) ||
                        (fields && (name == "x-mondrel-value" || name == "x-mondrel-script"));
        if (!replaced) {
            properties.push_back(lines[i]);
        }
    }
    properties.push_back(DtStamp());
    if (writeTimes) {
        properties.push_back(moved.Start);
        if (!moved.End.empty()) {
            properties.push_back(moved.End);
        }
    }
    if (timeEdited) {
        properties.push_back("SEQUENCE:" + std::to_string(sequence + 1));
    }
    if (summaryEdited) {
        properties.push_back("SUMMARY:" + EscapeText(now.Discription));
    }
    if (fields) {
        properties.push_back("X-MONDREL-VALUE:" + EscapeText(now.Value));
        properties.push_back("X-MONDREL-SCRIPT:" + EscapeText(now.Script));
    }
    properties.insert(properties.end(), components.begin(), components.end());
    properties.push_back(lines[end]);
    lines.erase(lines.begin() + static_cast<std::ptrdiff_t>(begin),
                lines.begin() + static_cast<std::ptrdiff_t>(end) + 1);
    lines.insert(lines.begin() + static_cast<std::ptrdiff_t>(begin), properties.begin(),
                 properties.end());
    return begin + properties.size() - 1;
}

std::string RecurrenceLine(const std::string& occurrence, const char* name) {
    return std::string(name) + (occurrence.size() == 8 ? ";VALUE=DATE:" : ":") + occurrence;
}

// The event text with the row's change: the event itself, or the occurrence as an override.
std::string Edited(const std::string& data, TChange change) {
    const TImportKey& key = change.Record->Key;
    change.Text = data;
    std::vector<std::string> lines = Unfold(data);
    std::vector<TBlock> blocks = Events(lines);
    for (const TBlock& block : blocks) {
        bool same =
            block.UID == key.UID && (key.Occurrence.empty() ? block.RecurrenceID.empty()
                                                            : block.RecurrenceID == key.Occurrence);
        if (same) {
            Rewrite(lines, block.Begin, block.End, change);
            return Fold(lines);
        }
    }
    for (const TBlock& block : blocks) {
        if (block.UID == key.UID && block.RecurrenceID.empty()) {
            // A new override of the occurrence after the series: what the series says of its
            // occurrences, less what makes it repeat.
            std::vector<std::string> added = {"BEGIN:VEVENT", "UID:" + key.UID,
                                              RecurrenceLine(key.Occurrence, "RECURRENCE-ID")};
            for (size_t i = block.Begin + 1; i < block.End; ++i) {
                std::string name = NameOf(lines[i]);
                if (name != "uid" && name != "rrule" && name != "rdate" && name != "exdate" &&
                    name != "exrule" && name != "recurrence-id" && name != "sequence") {
                    added.push_back(lines[i]);
                }
            }
            added.push_back("END:VEVENT");
            size_t at = block.End + 1;
            lines.insert(lines.begin() + static_cast<std::ptrdiff_t>(at), added.begin(),
                         added.end());
            change.NewOverride = true;
            Rewrite(lines, at, at + added.size() - 1, change);
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
            std::string exdate = RecurrenceLine(key.Occurrence, "EXDATE");
            if (std::find(lines.begin() + static_cast<std::ptrdiff_t>(block.Begin),
                          lines.begin() + static_cast<std::ptrdiff_t>(block.End),
                          exdate) == lines.begin() + static_cast<std::ptrdiff_t>(block.End)) {
                lines.insert(lines.begin() + static_cast<std::ptrdiff_t>(block.End), exdate);
            }
            return Fold(lines);
        }
    }
    return "";
}

// A new event for an appointment added here: at the row's time less the source's offset, in
// UTC, with our own fields, so that it reads back as the row.
std::string NewEvent(const std::string& uid, const TImportValues& values, int64_t offsetMinutes) {
    TICalMovedTimes at =
        ICalMovedTimes("", "", "", StampOf(RowStart(values) - minutes{offsetMinutes}), false);
    return Fold({"BEGIN:VCALENDAR", "VERSION:2.0", "PRODID:-//mondrel-db//caldav//EN",
                 "BEGIN:VEVENT", "UID:" + uid, DtStamp(), at.Start,
                 "SUMMARY:" + EscapeText(values.Discription),
                 "X-MONDREL-VALUE:" + EscapeText(values.Value),
                 "X-MONDREL-SCRIPT:" + EscapeText(values.Script), "END:VEVENT", "END:VCALENDAR"});
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

std::string EventWithUID(const std::string& Url, const std::string& Data) {
    if (Data.find("\nUID") != std::string::npos || Data.find("\nuid") != std::string::npos) {
        return Data;
    }
    std::string text = Data;
    size_t begin = 0;
    while ((begin = text.find("BEGIN:VEVENT", begin)) != std::string::npos) {
        size_t end = text.find('\n', begin);
        if (end == std::string::npos) {
            break;
        }
        text.insert(end + 1, "UID:" + Url + "\r\n");
        begin = end;
    }
    return text;
}

TDavWriteBack WriteBack(TCalDavClient& Client, const TRunOptions& Run, TDavState& State,
                        std::map<std::string, TDavEvent>& Events, int64_t OffsetMinutes) {
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
    std::set<std::string> writtenUrls;
    size_t changed = 0, deleted = 0, added = 0;
    std::vector<std::string> conflicts;
    // Which resource holds each UID, worked out when the first row needs it.
    std::map<std::string, std::string> urlOfUID;
    bool indexed = false;
    auto resourceOf = [&](const std::string& uid) -> const TDavEvent* {
        if (!indexed) {
            for (const auto& [url, event] : Events) {
                for (const TBlock& block : ::Events(Unfold(EventWithUID(url, event.Data)))) {
                    urlOfUID.emplace(block.UID, url);
                }
            }
            indexed = true;
        }
        auto url = urlOfUID.find(uid);
        auto event = url == urlOfUID.end() ? Events.end() : Events.find(url->second);
        return event == Events.end() ? nullptr : &event->second;
    };
    // Occurrences of one event are written one after the other, each on the last version.
    for (const TImportRecord& record : records) {
        bool edited = record.RowExists && !(record.Current.Date == record.Last.Date &&
                                            record.Current.Time == record.Last.Time &&
                                            record.Current.Discription == record.Last.Discription &&
                                            record.Current.Value == record.Last.Value &&
                                            record.Current.Script == record.Last.Script);
        // An appointment added here: a new event, or one whose creation reached the server in
        // a run that ended before it was recorded.
        bool ours = record.RowExists && record.Key.Occurrence.empty() &&
                    record.Key.UID.rfind("caldav-", 0) == 0;
        if (record.RowExists && !edited && !ours) {
            continue;
        }
        const TDavEvent* resource = resourceOf(record.Key.UID);
        bool fresh = resource == nullptr && ours;
        if ((resource == nullptr && !fresh) ||
            (resource != nullptr && record.RowExists && !edited)) {
            continue;  // gone from the server (the read removes what is left), or nothing to do
        }
        const std::string url = fresh ? NewEventUrl(State.Calendar, record.Key.UID) : resource->Url;
        TDavEvent base = fresh ? TDavEvent{url, "", ""} : *resource;
        const bool creating = fresh;
        const bool removing = !record.RowExists && record.Key.Occurrence.empty();
        const TChange change{&record, "", OffsetMinutes, false};
        TDavWrite write;
        std::string data;
        std::optional<TDavResource> server;  // the server's copy, when a write was refused
        bool nothing = false;
        for (int attempt = 0; attempt < 3; ++attempt) {
            std::string text = EventWithUID(url, base.Data);
            std::string condition = base.ETag.empty() ? "*" : base.ETag;
            if (base.Data.empty()) {
                data = NewEvent(record.Key.UID, record.Current, OffsetMinutes);
                write = Client.Put(url, data, "");
            } else if (removing) {
                data.clear();
                write = Client.Delete(url, condition);
                if (write.Status == 404) {
                    write.Status = 204;  // gone already: what was wanted
                }
            } else {
                data =
                    record.RowExists ? Edited(text, change) : WithoutOccurrence(text, record.Key);
                if (data.empty()) {
                    nothing = true;
                    break;
                }
                write = Client.Put(url, data, condition);
            }
            if (write.Status != 412) {
                break;
            }
            std::vector<TDavResource> now = Client.Fetch(State.Calendar, {url});
            server.reset();
            if (!now.empty()) {
                server = now.front();
            }
            if (!server) {
                break;
            }
            if (base.Data.empty()) {
                if (!HoldsUID(server->Data, record.Key.UID)) {
                    break;  // someone else's event at our address
                }
                // Ours: created by a run that ended before it could record it.
                base = {url, server->ETag, server->Data};
                fresh = false;
                if (!edited) {
                    data = base.Data;
                    write = {200, base.ETag};
                    break;
                }
                continue;
            }
            if (SameEvent(server->Data, base.Data)) {
                // The server's event is the one the row was read from: only its ETag moved.
                // Once more with the new one; a server whose ETags change on every read takes
                // the write without a condition.
                base.ETag = attempt == 0 && !server->ETag.empty() ? server->ETag : "*";
                continue;
            }
            // Changed on the server: a conflict, unless it holds the row's change already.
            std::string theirs = EventWithUID(url, server->Data);
            std::string mine = removing           ? ""
                               : record.RowExists ? Edited(theirs, change)
                                                  : WithoutOccurrence(theirs, record.Key);
            if (!mine.empty() && SameEvent(mine, theirs)) {
                data = server->Data;
                write = {200, server->ETag};
            }
            break;
        }
        if (nothing) {
            // An occurrence whose series is not in the resource: nothing to write it into.
            result.Lines.push_back("not written back: " + Printable(record.Last.Discription) + " " +
                                   When(record.Last) + ": the server's event has no series for it");
            continue;
        }
        if (IsOk(write.Status)) {
            result.Wrote = true;
            writtenUrls.insert(url);
            if (!record.RowExists) {
                ++deleted;
                if (data.empty()) {
                    Events.erase(url);
                } else {
                    Events[url] = {url, write.ETag, data};
                }
                done.push_back({record.RecordID, TDone::Forget, {}, 0});
            } else {
                ++(creating ? added : changed);
                Events[url] = {url, write.ETag, data};
                urlOfUID[record.Key.UID] = url;
                done.push_back({record.RecordID, TDone::Synced, record.Current, 0});
            }
            continue;
        }
        if (write.Status == 412 && !fresh) {
            TImportValues theirs;
            std::string version =
                server ? ServerVersion(server->Data, record.Key, Run, &theirs) : "deletion";
            std::string line = "changed on both sides: kept the server's " + version + "; yours " +
                               (record.RowExists ? "was " + Yours(record.Current, theirs)
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
    // The rows' records, the events as written and what sources says of the writes, together:
    // a read that fails after this finds the server and the file agreeing.
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
        for (const std::string& url : writtenUrls) {
            auto event = Events.find(url);
            if (event == Events.end()) {
                DeleteDavEvent(database, State.Source, url);
            } else {
                SaveDavEvent(database, State.Source, event->second);
            }
        }
        std::optional<TDavState> saved = ReadDavState(database, State.Source);
        if (saved && saved->Calendar == State.Calendar) {
            saved->WrittenBack = State.WrittenBack;
            saved->LastWriteBack = State.LastWriteBack;
            saved->Conflicts = State.Conflicts;
            SaveDavState(database, *saved);
        }
    });
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
