#include "ICalAdapter.h"

extern "C" {
#include <libical/ical.h>
}

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <map>
#include <memory>
#include <ostream>
#include <set>

namespace {

constexpr const char* ProdID = "-//Mondrel//mondrel-db//EN";

struct TComponentFree {
    void operator()(icalcomponent* component) const noexcept { icalcomponent_free(component); }
};
using TComponentPtr = std::unique_ptr<icalcomponent, TComponentFree>;

struct TBufferFree {
    void operator()(char* buffer) const noexcept { icalmemory_free_buffer(buffer); }
};
using TBufferPtr = std::unique_ptr<char, TBufferFree>;

// One event that cannot be used: caught per event, so the others still import.
class ESkipEvent : public EMondrelError {
  public:
    using EMondrelError::EMondrelError;
};

bool EqualsNoCase(const std::string& a, const std::string& b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::toupper(static_cast<unsigned char>(x)) ==
                      std::toupper(static_cast<unsigned char>(y));
           });
}

std::string TextOf(const char* text) {
    return text != nullptr ? std::string(text) : std::string();
}

// --- base64, for texts that iCalendar's TEXT cannot carry ---------------------------------------

constexpr const char* Base64Digits =
    "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

std::string EncodeBase64(const std::string& bytes) {
    std::string out;
    size_t i = 0;
    for (; i + 2 < bytes.size(); i += 3) {
        unsigned v = (static_cast<unsigned char>(bytes[i]) << 16) |
                     (static_cast<unsigned char>(bytes[i + 1]) << 8) |
                     static_cast<unsigned char>(bytes[i + 2]);
        for (int shift : {18, 12, 6, 0}) {
            out += Base64Digits[(v >> shift) & 63];
        }
    }
    if (i < bytes.size()) {
        unsigned v = static_cast<unsigned char>(bytes[i]) << 16;
        if (i + 1 < bytes.size()) {
            v |= static_cast<unsigned char>(bytes[i + 1]) << 8;
        }
        out += Base64Digits[(v >> 18) & 63];
        out += Base64Digits[(v >> 12) & 63];
        out += i + 1 < bytes.size() ? Base64Digits[(v >> 6) & 63] : '=';
        out += '=';
    }
    return out;
}

std::string DecodeBase64(const std::string& text) {
    std::string out;
    unsigned v = 0;
    int bits = 0;
    for (char c : text) {
        const char* digit = c != '\0' ? std::strchr(Base64Digits, c) : nullptr;
        if (digit == nullptr) {
            if (c == '=' || std::isspace(static_cast<unsigned char>(c))) {
                continue;
            }
            throw ESkipEvent("broken base64 text");
        }
        v = (v << 6) | static_cast<unsigned>(digit - Base64Digits);
        bits += 6;
        if (bits >= 8) {
            bits -= 8;
            out += static_cast<char>((v >> bits) & 0xFF);
        }
    }
    return out;
}

// Valid UTF-8 without control characters other than tab and line feed, and no blank at either
// end (libical's reader trims those): what TEXT carries exactly.
bool FitsText(const std::string& text) {
    auto blank = [](char c) { return c == ' ' || c == '\t'; };
    if (!text.empty() && (blank(text.front()) || blank(text.back()))) {
        return false;
    }
    for (size_t i = 0; i < text.size();) {
        auto c = static_cast<unsigned char>(text[i]);
        if (c < 0x80) {
            if ((c < 0x20 && c != '\t' && c != '\n') || c == 0x7F) {
                return false;
            }
            ++i;
            continue;
        }
        size_t length = c >= 0xF0 && c <= 0xF4 ? 4 : c >= 0xE0 ? 3 : c >= 0xC2 && c < 0xE0 ? 2 : 0;
        if (length == 0 || (c >= 0xE0 && c < 0xF0 && length != 3) || i + length > text.size()) {
            return false;
        }
        for (size_t k = 1; k < length; ++k) {
            if ((static_cast<unsigned char>(text[i + k]) & 0xC0) != 0x80) {
                return false;
            }
        }
        i += length;
    }
    return true;
}

// What another calendar shows of a text that TEXT cannot carry: the control characters dropped,
// each byte that is no UTF-8 as U+FFFD.
std::string ShownText(const std::string& text) {
    std::string shown;
    for (size_t i = 0; i < text.size(); ++i) {
        std::string one(1, text[i]);
        auto c = static_cast<unsigned char>(text[i]);
        if (c >= 0x80) {
            size_t length = c >= 0xF0 ? 4 : c >= 0xE0 ? 3 : 2;
            std::string sequence = text.substr(i, length);
            if (FitsText(sequence) && sequence.size() == length) {
                shown += sequence;
                i += length - 1;
            } else {
                shown += "\xEF\xBF\xBD";
            }
        } else if (FitsText(one)) {
            shown += one;
        }
    }
    return shown;
}

// --- times ---------------------------------------------------------------------------------------

std::tm ToTm(const TICalStamp& stamp) {
    std::tm tm{};
    tm.tm_year = stamp.Year - 1900;
    tm.tm_mon = stamp.Month - 1;
    tm.tm_mday = stamp.Day;
    tm.tm_hour = stamp.Hour;
    tm.tm_min = stamp.Minute;
    tm.tm_sec = stamp.Second;
    tm.tm_isdst = -1;
    return tm;
}

TICalStamp FromTm(const std::tm& tm) {
    return {tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday, tm.tm_hour, tm.tm_min, tm.tm_sec};
}

time_t LocalToTime(const TICalStamp& stamp) {
    std::tm tm = ToTm(stamp);
    return std::mktime(&tm);
}

time_t UtcToTime(const TICalStamp& stamp) {
    std::tm tm = ToTm(stamp);
    return timegm(&tm);
}

TICalStamp TimeToLocal(time_t time) {
    std::tm tm{};
    localtime_r(&time, &tm);
    return FromTm(tm);
}

TICalStamp TimeToUtc(time_t time) {
    std::tm tm{};
    gmtime_r(&time, &tm);
    return FromTm(tm);
}

TICalStamp DayOf(const TICalStamp& stamp) {
    return {stamp.Year, stamp.Month, stamp.Day};
}

std::string StampText(const TICalStamp& stamp, bool day) {
    char text[32];
    if (day) {
        std::snprintf(text, sizeof text, "%04d%02d%02d", stamp.Year, stamp.Month, stamp.Day);
    } else {
        std::snprintf(text, sizeof text, "%04d%02d%02dT%02d%02d%02d", stamp.Year, stamp.Month,
                      stamp.Day, stamp.Hour, stamp.Minute, stamp.Second);
    }
    return text;
}

bool IsRealTime(const icaltimetype& time) {
    static constexpr int Days[] = {31, 29, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    if (time.month < 1 || time.month > 12 || time.day < 1 || time.day > Days[time.month - 1]) {
        return false;
    }
    bool leap = (time.year % 4 == 0 && time.year % 100 != 0) || time.year % 400 == 0;
    if (time.month == 2 && time.day == 29 && !leap) {
        return false;
    }
    return time.is_date || (time.hour >= 0 && time.hour < 24 && time.minute >= 0 &&
                            time.minute < 60 && time.second >= 0 && time.second < 60);
}

icaltimetype UtcTime(time_t time) {
    return icaltime_from_timet_with_zone(time, 0, icaltimezone_get_utc_timezone());
}

// A TZID names a VTIMEZONE of the file or a zone of the system's database; null when neither.
icaltimezone* FindZone(icalcomponent* calendar, const std::string& tzid) {
    icaltimezone* zone = icalcomponent_get_timezone(calendar, tzid.c_str());
    if (zone == nullptr) {
        zone = icaltimezone_get_builtin_timezone(tzid.c_str());
    }
    if (zone == nullptr) {
        zone = icaltimezone_get_builtin_timezone_from_tzid(tzid.c_str());
    }
    return zone;
}

std::string TzidOf(icalproperty* property) {
    icalparameter* tzid = icalproperty_get_first_parameter(property, ICAL_TZID_PARAMETER);
    return tzid != nullptr ? TextOf(icalparameter_get_tzid(tzid)) : std::string();
}

// The time of a property with its TZID resolved; raises ESkipEvent for a zone found nowhere.
icaltimetype ResolvedTime(icalcomponent* calendar, icalproperty* property, icaltimetype time) {
    std::string tzid = TzidOf(property);
    if (!tzid.empty() && !time.is_date && !icaltime_is_utc(time)) {
        icaltimezone* zone = FindZone(calendar, tzid);
        if (zone == nullptr) {
            throw ESkipEvent("unknown time zone \"" + tzid + "\"");
        }
        time = icaltime_set_timezone(&time, zone);
    }
    return time;
}

// --- reading -------------------------------------------------------------------------------------

// How an event's times are read: a zone-bound time (UTC or TZID) is a real moment and shown in
// local time; a floating time and a day stand as they are, which libical's spans count as UTC.
struct TEventClock {
    bool Zoned = false;
    bool Day = false;

    TICalStamp Local(time_t spanStart) const {
        return Zoned ? TimeToLocal(spanStart) : TimeToUtc(spanStart);
    }
    time_t Span(const TICalStamp& local) const {
        return Zoned ? LocalToTime(local) : UtcToTime(local);
    }
    std::string Key(time_t spanStart) const {
        return Zoned ? StampText(TimeToUtc(spanStart), false) + "Z"
                     : StampText(TimeToUtc(spanStart), Day);
    }
};

// The key of a RECURRENCE-ID: as TEventClock::Key gives it for the occurrence it names.
std::string KeyOfTime(const icaltimetype& time) {
    if (time.is_date) {
        return StampText({time.year, time.month, time.day}, true);
    }
    if (time.zone != nullptr) {
        icaltimetype utc = icaltime_convert_to_zone(time, icaltimezone_get_utc_timezone());
        return StampText({utc.year, utc.month, utc.day, utc.hour, utc.minute, utc.second}, false) +
               "Z";
    }
    return StampText({time.year, time.month, time.day, time.hour, time.minute, time.second}, false);
}

struct TExpansion {
    TEventClock Clock;
    TICalWindow Window;
    bool Repeats = false;
    bool Filter = true;                               // keep only starts inside Window
    const std::set<std::string>* Replaced = nullptr;  // occurrences an override stands for
    size_t Limit = ICalOccurrenceCap + 1;
    std::vector<TICalOccurrence> Found;
    bool More = false;
};

bool InWindow(const TICalWindow& window, const TICalStamp& start) {
    TICalStamp day = DayOf(start);
    return !(day < DayOf(window.From)) && !(DayOf(window.Until) < day);
}

void CollectOccurrence(icalcomponent*, struct icaltime_span* span, void* data) {
    auto& expansion = *static_cast<TExpansion*>(data);
    std::string key = expansion.Repeats ? expansion.Clock.Key(span->start) : std::string();
    if (expansion.Replaced != nullptr && expansion.Replaced->count(key) != 0) {
        return;
    }
    // An all-day event covers each day from its start up to (not including) its end; libical's
    // span of a day ends a second before the next one begins.
    time_t days = 1;
    if (expansion.Clock.Day && span->end > span->start) {
        days = std::max<time_t>(1, (span->end - span->start) / 86400);
    }
    for (time_t d = 0; d < days; ++d) {
        TICalStamp start = expansion.Clock.Local(span->start + d * 86400);
        if (expansion.Filter && !InWindow(expansion.Window, start)) {
            continue;
        }
        if (expansion.Found.size() >= expansion.Limit) {
            expansion.More = true;
            return;
        }
        expansion.Found.push_back({start, key});
    }
}

// libical's RDATE ignores its TZID: it reads the time as UTC. Zone-bound RDATEs and EXDATEs are
// written over in UTC before the expansion, so every instant compares as the moment it names.
void PinRecurrenceDatesToUtc(icalcomponent* calendar, icalcomponent* event) {
    for (icalproperty_kind kind : {ICAL_RDATE_PROPERTY, ICAL_EXDATE_PROPERTY}) {
        std::vector<icalproperty*> properties;
        for (icalproperty* p = icalcomponent_get_first_property(event, kind); p != nullptr;
             p = icalcomponent_get_next_property(event, kind)) {
            properties.push_back(p);
        }
        for (icalproperty* p : properties) {
            if (TzidOf(p).empty()) {
                continue;
            }
            if (kind == ICAL_RDATE_PROPERTY) {
                icaldatetimeperiodtype value = icalproperty_get_rdate(p);
                if (icaltime_is_null_time(value.time)) {
                    continue;
                }
                value.time = icaltime_convert_to_zone(ResolvedTime(calendar, p, value.time),
                                                      icaltimezone_get_utc_timezone());
                icalproperty_remove_parameter_by_kind(p, ICAL_TZID_PARAMETER);
                icalproperty_set_rdate(p, value);
            } else {
                icaltimetype value =
                    icaltime_convert_to_zone(ResolvedTime(calendar, p, icalproperty_get_exdate(p)),
                                             icaltimezone_get_utc_timezone());
                icalproperty_remove_parameter_by_kind(p, ICAL_TZID_PARAMETER);
                icalproperty_set_exdate(p, value);
            }
        }
    }
}

// icalcomponent_foreach_recurrence walks a rule without bound inside the window (a FREQ=SECONDLY
// rule over a year is 31 million steps). The end is brought in to the occurrence just past the
// cap, found with libical's own iterator.
icaltimetype BoundedEnd(icalcomponent* event, icaltimetype dtstart, icaltimetype start,
                        icaltimetype countFrom, icaltimetype end, size_t limit) {
    for (icalproperty* p = icalcomponent_get_first_property(event, ICAL_RRULE_PROPERTY);
         p != nullptr; p = icalcomponent_get_next_property(event, ICAL_RRULE_PROPERTY)) {
        icalrecurrencetype rule = icalproperty_get_rrule(p);
        icalrecur_iterator* iterator = icalrecur_iterator_new(rule, dtstart);
        if (iterator == nullptr) {
            continue;
        }
        if (rule.count == 0) {
            icalrecur_iterator_set_start(iterator, start);
        }
        size_t seen = 0;
        for (icaltimetype next = icalrecur_iterator_next(iterator); !icaltime_is_null_time(next);
             next = icalrecur_iterator_next(iterator)) {
            if (icaltime_compare(next, end) > 0) {
                break;
            }
            if (icaltime_compare(next, countFrom) >= 0 && ++seen > limit) {
                end = icaltime_convert_to_zone(next, icaltimezone_get_utc_timezone());
                break;
            }
        }
        icalrecur_iterator_free(iterator);
    }
    return end;
}

void Expand(icalcomponent* event, const icaltimetype& dtstart, TExpansion& expansion) {
    if (!expansion.Repeats) {
        expansion.Window = {{1800, 1, 1}, {2400, 12, 31}};
    }
    const TICalWindow& window = expansion.Window;
    // A day before and after: an all-day event begun before the window still covers its days.
    time_t from = expansion.Clock.Span(DayOf(window.From));
    TICalStamp until = DayOf(window.Until);
    until.Hour = 23;
    until.Minute = 59;
    until.Second = 59;
    icaltimetype start = UtcTime(from - 86400);
    icaltimetype end = UtcTime(expansion.Clock.Span(until));
    if (expansion.Repeats) {
        end = BoundedEnd(event, dtstart, start, UtcTime(from), end, expansion.Limit + 2);
    }
    icalcomponent_foreach_recurrence(event, start, end, CollectOccurrence, &expansion);
    std::stable_sort(
        expansion.Found.begin(), expansion.Found.end(),
        [](const TICalOccurrence& a, const TICalOccurrence& b) { return a.Start < b.Start; });
    if (expansion.Found.size() > ICalOccurrenceCap) {
        expansion.Found.resize(ICalOccurrenceCap);
        expansion.More = true;
    }
}

std::string EventName(const std::string& uid, const std::string& summary, size_t position) {
    if (!uid.empty()) {
        return uid;
    }
    return "\"" + summary + "\" (event " + std::to_string(position) + ")";
}

// The text of an X- property, or of its base64 form when it carries ENCODING=BASE64.
std::string XValue(icalproperty* property) {
    const char* raw = icalproperty_get_x(property);
    std::string value = raw != nullptr ? raw : TextOf(icalproperty_get_value_as_string(property));
    icalparameter* encoding = icalproperty_get_first_parameter(property, ICAL_ENCODING_PARAMETER);
    if (encoding != nullptr && icalparameter_get_encoding(encoding) == ICAL_ENCODING_BASE64) {
        return DecodeBase64(value);
    }
    return value;
}

int DoneValue(const std::string& text) {
    if (text.empty() || !std::all_of(text.begin(), text.end(), [](char c) {
            return std::isdigit(static_cast<unsigned char>(c));
        })) {
        throw ESkipEvent("X-MONDREL-DONE \"" + text + "\" is no number");
    }
    return text.find_first_not_of('0') != std::string::npos ? 1 : 0;
}

struct TEventParts {
    TICalEvent Event;
    icalcomponent* Component = nullptr;
    icaltimetype Start{};
    TEventClock Clock;
    bool Cancelled = false;
    bool Repeats = false;
    std::string Overrides;  // the RECURRENCE-ID key, for an override
};

// Reads what an event says about itself; raises ESkipEvent for what makes it unusable.
TEventParts ReadEvent(icalcomponent* calendar, icalcomponent* component, size_t position) {
    TEventParts parts;
    parts.Component = component;
    TICalEvent& event = parts.Event;
    event.UID = TextOf(icalcomponent_get_uid(component));
    icalproperty* summary = icalcomponent_get_first_property(component, ICAL_SUMMARY_PROPERTY);
    event.Summary = summary != nullptr ? TextOf(icalproperty_get_summary(summary)) : std::string();
    event.Name = EventName(event.UID, event.Summary, position);

    // libical drops a property it cannot read and leaves an error in its place. An empty one
    // ("No value for SUMMARY property") is just empty; any other makes the event unusable.
    for (icalproperty* p = icalcomponent_get_first_property(component, ICAL_XLICERROR_PROPERTY);
         p != nullptr; p = icalcomponent_get_next_property(component, ICAL_XLICERROR_PROPERTY)) {
        std::string error = TextOf(icalproperty_get_xlicerror(p));
        if (error.rfind("No value for ", 0) != 0) {
            throw ESkipEvent("broken property: " + error);
        }
    }
    bool ours = false;
    for (icalproperty* p = icalcomponent_get_first_property(component, ICAL_X_PROPERTY);
         p != nullptr; p = icalcomponent_get_next_property(component, ICAL_X_PROPERTY)) {
        std::string name = TextOf(icalproperty_get_x_name(p));
        if (EqualsNoCase(name, "X-MONDREL-VALUE")) {
            event.Value = XValue(p);
        } else if (EqualsNoCase(name, "X-MONDREL-SCRIPT")) {
            event.Script = XValue(p);
        } else if (EqualsNoCase(name, "X-MONDREL-DONE")) {
            event.Done = DoneValue(XValue(p));
        } else if (EqualsNoCase(name, "X-MONDREL-SUMMARY")) {
            event.Summary = XValue(p);
        } else {
            continue;
        }
        ours = true;
    }
    // Empty values are not written (libical reads no empty property), so in an event of ours a
    // missing one is empty.
    if (ours) {
        event.Value = event.Value.value_or("");
        event.Script = event.Script.value_or("");
        event.Done = event.Done.value_or(0);
    }
    for (icalproperty* p = icalcomponent_get_first_property(component, ICAL_CATEGORIES_PROPERTY);
         p != nullptr; p = icalcomponent_get_next_property(component, ICAL_CATEGORIES_PROPERTY)) {
        std::string list = TextOf(icalproperty_get_categories(p));
        for (size_t begin = 0; begin <= list.size();) {
            size_t comma = std::min(list.find(',', begin), list.size());
            if (comma > begin) {
                event.Categories.push_back(list.substr(begin, comma - begin));
            }
            begin = comma + 1;
        }
    }
    parts.Cancelled = icalcomponent_get_status(component) == ICAL_STATUS_CANCELLED;

    icalproperty* dtstart = icalcomponent_get_first_property(component, ICAL_DTSTART_PROPERTY);
    if (dtstart == nullptr) {
        throw ESkipEvent("no DTSTART");
    }
    parts.Start = icalcomponent_get_dtstart(component);
    if (icaltime_is_null_time(parts.Start) || !IsRealTime(parts.Start)) {
        throw ESkipEvent("DTSTART \"" + TextOf(icalproperty_get_value_as_string(dtstart)) +
                         "\" is no real date");
    }
    std::string tzid = TzidOf(dtstart);
    if (!tzid.empty() && !parts.Start.is_date && parts.Start.zone == nullptr) {
        // libical reads a TZID it cannot find as a floating time, silently.
        throw ESkipEvent("unknown time zone \"" + tzid + "\"");
    }
    event.AllDay = parts.Start.is_date != 0;
    parts.Clock.Day = event.AllDay;
    parts.Clock.Zoned = !event.AllDay && parts.Start.zone != nullptr;
    parts.Repeats = icalcomponent_get_first_property(component, ICAL_RRULE_PROPERTY) != nullptr ||
                    icalcomponent_get_first_property(component, ICAL_RDATE_PROPERTY) != nullptr;
    if (parts.Repeats) {
        PinRecurrenceDatesToUtc(calendar, component);
    }

    icalproperty* recurrence =
        icalcomponent_get_first_property(component, ICAL_RECURRENCEID_PROPERTY);
    if (recurrence != nullptr) {
        icaltimetype id =
            ResolvedTime(calendar, recurrence, icalproperty_get_recurrenceid(recurrence));
        if (icaltime_is_null_time(id) || !IsRealTime(id)) {
            throw ESkipEvent("RECURRENCE-ID \"" +
                             TextOf(icalproperty_get_value_as_string(recurrence)) +
                             "\" is no real date");
        }
        parts.Overrides = KeyOfTime(id);
    }
    return parts;
}

}  // namespace

TICalendar ReadICalendar(const std::string& Text, const TICalWindow& Window) {
    icalerror_set_errors_are_fatal(0);
    tzset();
    TComponentPtr root(icalparser_parse_string(Text.c_str()));
    icalcomponent* calendar = root.get();
    if (calendar != nullptr && icalcomponent_isa(calendar) != ICAL_VCALENDAR_COMPONENT) {
        calendar = icalcomponent_get_first_component(calendar, ICAL_VCALENDAR_COMPONENT);
    }
    if (calendar == nullptr) {
        throw EICalError("no iCalendar data (BEGIN:VCALENDAR is missing)");
    }

    TICalendar result;
    std::vector<TEventParts> events;
    std::vector<icalcomponent*> components;
    for (icalcomponent* c = icalcomponent_get_first_component(calendar, ICAL_VEVENT_COMPONENT);
         c != nullptr; c = icalcomponent_get_next_component(calendar, ICAL_VEVENT_COMPONENT)) {
        components.push_back(c);
    }
    for (size_t i = 0; i < components.size(); ++i) {
        try {
            events.push_back(ReadEvent(calendar, components[i], i + 1));
        } catch (const ESkipEvent& skip) {
            icalcomponent* c = components[i];
            icalproperty* summary = icalcomponent_get_first_property(c, ICAL_SUMMARY_PROPERTY);
            std::string uid = TextOf(icalcomponent_get_uid(c));
            result.Skipped.push_back(
                {uid,
                 EventName(uid, summary != nullptr ? TextOf(icalproperty_get_summary(summary)) : "",
                           i + 1),
                 skip.what()});
        }
    }

    // The occurrences each series hands to an override of its own (cancelled or not), and the
    // series present in the file.
    std::map<std::string, std::set<std::string>> replaced;
    std::set<std::string> series;
    for (const TEventParts& parts : events) {
        if (!parts.Overrides.empty()) {
            replaced[parts.Event.UID].insert(parts.Overrides);
        } else if (parts.Repeats) {
            series.insert(parts.Event.UID);
        }
    }

    for (TEventParts& parts : events) {
        TExpansion expansion;
        expansion.Clock = parts.Clock;
        expansion.Window = Window;
        expansion.Repeats = parts.Repeats;
        auto found = replaced.find(parts.Event.UID);
        if (parts.Overrides.empty() && found != replaced.end()) {
            expansion.Replaced = &found->second;
        }
        if (!parts.Cancelled) {
            Expand(parts.Component, parts.Start, expansion);
        }
        for (TICalOccurrence& occurrence : expansion.Found) {
            if (!parts.Overrides.empty()) {
                occurrence.RecurrenceID = parts.Overrides;
            }
        }
        // An override of a series in the file stands in for one of its occurrences inside the
        // window; alone, it is an event like any other.
        if (!parts.Overrides.empty() && series.count(parts.Event.UID) != 0) {
            std::erase_if(expansion.Found, [&](const TICalOccurrence& occurrence) {
                return !InWindow(Window, occurrence.Start);
            });
        }
        parts.Event.Cancelled = parts.Cancelled;
        parts.Event.Occurrences = std::move(expansion.Found);
        parts.Event.Capped = expansion.More;
        result.Events.push_back(std::move(parts.Event));
    }
    icalmemory_free_ring();
    return result;
}

// --- repeat rules --------------------------------------------------------------------------------

void CheckRepeatRule(const std::string& Rule) {
    icalerror_set_errors_are_fatal(0);
    icalerror_clear_errno();
    icalrecurrencetype rule = icalrecurrencetype_from_string(Rule.c_str());
    if (rule.freq == ICAL_NO_RECURRENCE || icalerrno != ICAL_NO_ERROR) {
        icalerrorenum error = icalerrno != ICAL_NO_ERROR ? icalerrno : ICAL_MALFORMEDDATA_ERROR;
        icalerror_clear_errno();
        throw ERepeatRuleError(TextOf(icalerror_strerror(error)));
    }
}

std::vector<TICalStamp> ExpandRepeatRule(const std::string& Rule, const TICalStamp& First,
                                         const TICalWindow& Window, bool& Capped) {
    CheckRepeatRule(Rule);
    TComponentPtr event(icalcomponent_new(ICAL_VEVENT_COMPONENT));
    icaltimetype start = icaltime_null_time();
    start.year = First.Year;
    start.month = First.Month;
    start.day = First.Day;
    start.hour = First.Hour;
    start.minute = First.Minute;
    start.second = First.Second;
    icalcomponent_add_property(event.get(), icalproperty_new_dtstart(start));
    icalcomponent_add_property(
        event.get(), icalproperty_new_rrule(icalrecurrencetype_from_string(Rule.c_str())));
    TExpansion expansion;
    expansion.Window = Window;
    expansion.Repeats = true;
    Expand(event.get(), start, expansion);
    Capped = expansion.More;
    std::vector<TICalStamp> starts;
    for (const TICalOccurrence& occurrence : expansion.Found) {
        starts.push_back(occurrence.Start);
    }
    icalmemory_free_ring();
    return starts;
}

// --- writing -------------------------------------------------------------------------------------

namespace {

icaltimetype ToICalTime(const TICalStamp& stamp, bool day) {
    icaltimetype time = icaltime_null_time();
    time.year = stamp.Year;
    time.month = stamp.Month;
    time.day = stamp.Day;
    if (day) {
        time.is_date = 1;
    } else {
        time.hour = stamp.Hour;
        time.minute = stamp.Minute;
        time.second = stamp.Second;
    }
    return time;
}

// An X-MONDREL- text: left out when empty, in base64 when TEXT cannot carry it.
void AddX(icalcomponent* event, const char* name, const std::string& value, bool base64) {
    if (value.empty()) {
        return;
    }
    icalproperty* property =
        icalproperty_new_x(base64 ? EncodeBase64(value).c_str() : value.c_str());
    icalproperty_set_x_name(property, name);
    if (base64) {
        icalproperty_add_parameter(property, icalparameter_new_encoding(ICAL_ENCODING_BASE64));
        icalproperty_add_parameter(property, icalparameter_new_value(ICAL_VALUE_BINARY));
    }
    icalcomponent_add_property(event, property);
}

}  // namespace

TICalWriter::TICalWriter(std::ostream& Out) : Out(Out) {
    Stamp = StampText(TimeToUtc(std::time(nullptr)), false) + "Z";
    Out << "BEGIN:VCALENDAR\r\nVERSION:2.0\r\nPRODID:" << ProdID << "\r\nCALSCALE:GREGORIAN\r\n";
}

TICalWriter::~TICalWriter() = default;

void TICalWriter::Add(const TICalOutEvent& Event) {
    TComponentPtr event(icalcomponent_new(ICAL_VEVENT_COMPONENT));
    icalcomponent* e = event.get();
    icalcomponent_add_property(e, icalproperty_new_uid(Event.UID.c_str()));
    icalcomponent_add_property(e, icalproperty_new_dtstamp(icaltime_from_string(Stamp.c_str())));
    icalcomponent_add_property(e, icalproperty_new_dtstart(ToICalTime(Event.Start, Event.AllDay)));
    if (!Event.RecurrenceID.empty()) {
        icalcomponent_add_property(
            e, icalproperty_new_recurrenceid(icaltime_from_string(Event.RecurrenceID.c_str())));
    }
    if (Event.AllDay) {
        TICalStamp next = TimeToUtc(UtcToTime(DayOf(Event.Start)) + 86400);
        icalcomponent_add_property(e, icalproperty_new_dtend(ToICalTime(next, true)));
    }
    bool summaryFits = FitsText(Event.Summary);
    std::string shown = summaryFits ? Event.Summary : ShownText(Event.Summary);
    if (!shown.empty()) {
        icalcomponent_add_property(e, icalproperty_new_summary(shown.c_str()));
    }
    if (!summaryFits) {
        AddX(e, "X-MONDREL-SUMMARY", Event.Summary, true);
    }
    for (const std::string& category : Event.Categories) {
        icalcomponent_add_property(e, icalproperty_new_categories(category.c_str()));
    }
    if (Event.Value) {
        AddX(e, "X-MONDREL-VALUE", *Event.Value, !FitsText(*Event.Value));
    }
    if (Event.Script) {
        AddX(e, "X-MONDREL-SCRIPT", *Event.Script, !FitsText(*Event.Script));
    }
    if (Event.Done) {
        AddX(e, "X-MONDREL-DONE", std::to_string(*Event.Done), false);
    }
    TBufferPtr text(icalcomponent_as_ical_string_r(e));
    Out << text.get();
}

void TICalWriter::Finish() {
    if (!Finished) {
        Out << "END:VCALENDAR\r\n";
        Finished = true;
    }
    Out.flush();
}
