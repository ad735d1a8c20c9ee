#include "ICalAdapter.h"

extern "C" {
#include <libical/ical.h>
}

#include <algorithm>
#include <cctype>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <deque>
#include <limits>
#include <map>
#include <memory>
#include <ostream>
#include <set>
#include <utility>

#include "ICalTextScan.h"
#include "WindowsZoneNames.h"

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
// each byte that is no UTF-8 as U+FFFD, everything else (blanks too) as it stands.
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
        } else if ((c >= 0x20 && c != 0x7F) || c == '\t' || c == '\n') {
            shown += one;  // blanks included: only what TEXT cannot carry goes
        }
    }
    return shown;
}

// --- times ---------------------------------------------------------------------------------------

// Seconds since 1970-01-01 00:00:00 on a clock without zone: a wall clock, or UTC.
using TSeconds = int64_t;
constexpr TSeconds DaySeconds = 86400;

TSeconds SecondsOf(const TICalStamp& stamp) {
    using namespace std::chrono;
    sys_days date{year{stamp.Year} / month{static_cast<unsigned>(stamp.Month)} /
                  day{static_cast<unsigned>(stamp.Day)}};
    return TSeconds{date.time_since_epoch().count()} * DaySeconds + stamp.Hour * 3600 +
           stamp.Minute * 60 + stamp.Second;
}

TSeconds DayStart(TSeconds seconds) {
    TSeconds rest = seconds % DaySeconds;
    return seconds - (rest < 0 ? rest + DaySeconds : rest);
}

TICalStamp StampOf(TSeconds seconds) {
    using namespace std::chrono;
    TSeconds start = DayStart(seconds);
    TSeconds rest = seconds - start;
    year_month_day date{sys_days{days{start / DaySeconds}}};
    return {static_cast<int>(date.year()),
            static_cast<int>(static_cast<unsigned>(date.month())),
            static_cast<int>(static_cast<unsigned>(date.day())),
            static_cast<int>(rest / 3600),
            static_cast<int>(rest % 3600 / 60),
            static_cast<int>(rest % 60)};
}

TSeconds SecondsOf(const icaltimetype& time) {
    return time.is_date ? SecondsOf(TICalStamp{time.year, time.month, time.day})
                        : SecondsOf(TICalStamp{time.year, time.month, time.day, time.hour,
                                               time.minute, time.second});
}

// The machine's local time (TZ honoured) and UTC.
TSeconds LocalToUtc(const TICalStamp& stamp) {
    std::tm tm{};
    tm.tm_year = stamp.Year - 1900;
    tm.tm_mon = stamp.Month - 1;
    tm.tm_mday = stamp.Day;
    tm.tm_hour = stamp.Hour;
    tm.tm_min = stamp.Minute;
    tm.tm_sec = stamp.Second;
    tm.tm_isdst = -1;
    return std::mktime(&tm);
}

TICalStamp UtcToLocal(TSeconds utc) {
    time_t time = static_cast<time_t>(utc);
    std::tm tm{};
    localtime_r(&time, &tm);
    return {tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday, tm.tm_hour, tm.tm_min, tm.tm_sec};
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
    using namespace std::chrono;
    if (time.year < 1 || time.year > 9999 || time.month < 1 || time.month > 12 || time.day < 1 ||
        !year_month_day{year{time.year}, month{static_cast<unsigned>(time.month)},
                        day{static_cast<unsigned>(time.day)}}
             .ok()) {
        return false;
    }
    return time.is_date || (time.hour >= 0 && time.hour < 24 && time.minute >= 0 &&
                            time.minute < 60 && time.second >= 0 && time.second < 60);
}

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

// --- zones ---------------------------------------------------------------------------------------

// A zone as an event's times name it: a VTIMEZONE of the file, the system's zone of an Olson
// name, or both, when the file's zone carries an Olson name but its observances cover some years
// only: outside them the system's zone answers.
struct TZone {
    icaltimezone* Own = nullptr;
    icaltimezone* System = nullptr;
    TSeconds CoveredFrom = std::numeric_limits<TSeconds>::min();
    TSeconds CoveredUntil = std::numeric_limits<TSeconds>::max();

    int OffsetAt(TSeconds utc) const {
        icaltimezone* zone = Own;
        if (zone == nullptr || (System != nullptr && (utc < CoveredFrom || utc > CoveredUntil))) {
            zone = System;
        }
        icaltimetype time = ToICalTime(StampOf(utc), false);
        time.zone = icaltimezone_get_utc_timezone();
        int daylight = 0;
        return icaltimezone_get_utc_offset_of_utc_time(zone, &time, &daylight);
    }

    // RFC 5545 3.3.5: a wall-clock time the zone skips is read with the offset before the gap;
    // one it passes twice is the first of the two.
    TSeconds UtcOf(TSeconds wall) const {
        int before = OffsetAt(wall - DaySeconds);
        int after = OffsetAt(wall + DaySeconds);
        TSeconds early = wall - before;
        TSeconds late = wall - after;
        bool earlyFits = OffsetAt(early) == before;
        bool lateFits = OffsetAt(late) == after;
        if (earlyFits && lateFits) {
            return std::min(early, late);
        }
        return lateFits && !earlyFits ? late : early;
    }

    TSeconds WallOf(TSeconds utc) const { return utc + OffsetAt(utc); }
};

// Where the observances of a VTIMEZONE reach: from the first onset to the last, or without end
// when a rule repeats for ever.
void FindCoverage(icalcomponent* vtimezone, TZone& zone) {
    TSeconds first = std::numeric_limits<TSeconds>::max();
    TSeconds last = std::numeric_limits<TSeconds>::min();
    bool endless = false;
    for (icalcomponent* o = icalcomponent_get_first_component(vtimezone, ICAL_ANY_COMPONENT);
         o != nullptr; o = icalcomponent_get_next_component(vtimezone, ICAL_ANY_COMPONENT)) {
        icalcomponent_kind kind = icalcomponent_isa(o);
        icalproperty* from = icalcomponent_get_first_property(o, ICAL_TZOFFSETFROM_PROPERTY);
        icalproperty* start = icalcomponent_get_first_property(o, ICAL_DTSTART_PROPERTY);
        if ((kind != ICAL_XSTANDARD_COMPONENT && kind != ICAL_XDAYLIGHT_COMPONENT) ||
            start == nullptr || !IsRealTime(icalproperty_get_dtstart(start))) {
            continue;
        }
        int offsetFrom = from != nullptr ? icalproperty_get_tzoffsetfrom(from) : 0;
        icaltimetype dtstart = icalproperty_get_dtstart(start);
        auto onset = [&](const icaltimetype& time) {
            TSeconds utc = SecondsOf(time) - (icaltime_is_utc(time) ? 0 : offsetFrom);
            first = std::min(first, utc);
            last = std::max(last, utc);
        };
        onset(dtstart);
        for (icalproperty* p = icalcomponent_get_first_property(o, ICAL_RDATE_PROPERTY);
             p != nullptr; p = icalcomponent_get_next_property(o, ICAL_RDATE_PROPERTY)) {
            icaltimetype time = icalproperty_get_rdate(p).time;
            if (IsRealTime(time)) {
                onset(time);
            }
        }
        for (icalproperty* p = icalcomponent_get_first_property(o, ICAL_RRULE_PROPERTY);
             p != nullptr; p = icalcomponent_get_next_property(o, ICAL_RRULE_PROPERTY)) {
            icalrecurrencetype rule = icalproperty_get_rrule(p);
            if (IsRealTime(rule.until)) {
                onset(rule.until);
            } else if (rule.count > 0) {
                icalrecur_iterator* iterator = icalrecur_iterator_new(rule, dtstart);
                for (int i = 0; iterator != nullptr && i < rule.count && i < 10000; ++i) {
                    icaltimetype next = icalrecur_iterator_next(iterator);
                    if (icaltime_is_null_time(next)) {
                        break;
                    }
                    onset(next);
                }
                if (iterator != nullptr) {
                    icalrecur_iterator_free(iterator);
                }
            } else {
                endless = true;
            }
        }
    }
    if (first <= last) {
        zone.CoveredFrom = first;
        zone.CoveredUntil = endless ? std::numeric_limits<TSeconds>::max() : last;
    }
}

// A TZID as written, without the blanks and quotes around it.
std::string BareZoneName(const std::string& name) {
    auto trim = [](const std::string& text) {
        size_t begin = text.find_first_not_of(" \t");
        size_t end = text.find_last_not_of(" \t");
        return begin == std::string::npos ? std::string() : text.substr(begin, end - begin + 1);
    };
    std::string bare = trim(name);
    if (bare.size() >= 2 && bare.front() == '"' && bare.back() == '"') {
        bare = trim(bare.substr(1, bare.size() - 2));
    }
    return bare;
}

icaltimezone* SystemZone(const std::string& name) {
    if (name.empty()) {
        return nullptr;
    }
    icaltimezone* zone = icaltimezone_get_builtin_timezone(name.c_str());
    return zone != nullptr ? zone : icaltimezone_get_builtin_timezone_from_tzid(name.c_str());
}

// The zones the TZIDs of one VCALENDAR name, each looked up once.
class TZones {
  public:
    explicit TZones(icalcomponent* calendar) : Calendar(calendar) {}

    // A VTIMEZONE of the file (by its TZID without blanks and quotes around it), the system's
    // zone of an Olson name, or of a Windows zone name; null when none is found.
    const TZone* Find(const std::string& tzid) {
        auto known = Known.find(tzid);
        if (known == Known.end()) {
            known = Known.emplace(tzid, Lookup(tzid)).first;
        }
        return known->second ? &*known->second : nullptr;
    }

  private:
    std::optional<TZone> Lookup(const std::string& tzid) const {
        std::string bare = BareZoneName(tzid);
        for (icalcomponent* c = Calendar != nullptr ? icalcomponent_get_first_component(
                                                          Calendar, ICAL_VTIMEZONE_COMPONENT)
                                                    : nullptr;
             c != nullptr;
             c = icalcomponent_get_next_component(Calendar, ICAL_VTIMEZONE_COMPONENT)) {
            icalproperty* name = icalcomponent_get_first_property(c, ICAL_TZID_PROPERTY);
            std::string own = name != nullptr ? TextOf(icalproperty_get_tzid(name)) : "";
            icaltimezone* zone = !own.empty() && (own == tzid || BareZoneName(own) == bare)
                                     ? icalcomponent_get_timezone(Calendar, own.c_str())
                                     : nullptr;
            if (zone != nullptr) {
                TZone found{zone};
                found.System = SystemZone(BareZoneName(own));
                if (found.System != nullptr) {
                    FindCoverage(c, found);
                }
                return found;
            }
        }
        if (icaltimezone* zone = SystemZone(bare)) {
            return TZone{zone};
        }
        if (icaltimezone* zone = SystemZone(OlsonNameOfWindowsZone(bare))) {
            return TZone{zone};
        }
        return std::nullopt;
    }

    icalcomponent* Calendar;
    std::map<std::string, std::optional<TZone>> Known;
};

std::string TzidOf(icalproperty* property) {
    icalparameter* tzid = icalproperty_get_first_parameter(property, ICAL_TZID_PARAMETER);
    return tzid != nullptr ? TextOf(icalparameter_get_tzid(tzid)) : std::string();
}

// How an event's times are read. A time in a zone (UTC or TZID) is a real moment, shown in the
// machine's local time; a floating time and a day stand as they are. Occurrences are worked out
// on the event's wall clock, so a repeating 09:00 stays 09:00 across clock changes.
struct TClock {
    enum class TKind { Floating, Day, Utc, Zoned };
    TKind Kind = TKind::Floating;
    const TZone* Zone = nullptr;

    bool Day() const { return Kind == TKind::Day; }
    TSeconds UtcOf(TSeconds wall) const {
        switch (Kind) {
            case TKind::Utc:
                return wall;
            case TKind::Zoned:
                return Zone->UtcOf(wall);
            default:
                return LocalToUtc(StampOf(wall));
        }
    }
    TSeconds WallOf(TSeconds utc) const {
        switch (Kind) {
            case TKind::Utc:
                return utc;
            case TKind::Zoned:
                return Zone->WallOf(utc);
            default:
                return SecondsOf(UtcToLocal(utc));
        }
    }
    TICalStamp Local(TSeconds wall) const {
        bool zoned = Kind == TKind::Utc || Kind == TKind::Zoned;
        return zoned ? UtcToLocal(UtcOf(wall)) : StampOf(wall);
    }
    // Which occurrence this is, as its RECURRENCE-ID names it: a UTC time for a zoned event, a
    // floating time, or a day.
    std::string Key(TSeconds wall) const {
        bool zoned = Kind == TKind::Utc || Kind == TKind::Zoned;
        return zoned ? StampText(StampOf(UtcOf(wall)), false) + "Z"
                     : StampText(StampOf(wall), Day());
    }
};

// A date or time the event names (RDATE, EXDATE, RECURRENCE-ID, UNTIL, DTSTART) on the wall
// clock of an event; a day stands for the whole day.
struct TWhen {
    TSeconds Wall = 0;
    bool DateOnly = false;

    bool SameAs(const TWhen& other) const {
        return DateOnly || other.DateOnly ? DayStart(Wall) == DayStart(other.Wall)
                                          : Wall == other.Wall;
    }
};

// --- reading -------------------------------------------------------------------------------------

TWhen WhenOf(const icaltimetype& time, const std::string& tzid, const TClock& clock, TZones& zones,
             const std::string& what) {
    if (!IsRealTime(time)) {
        throw ESkipEvent(what + " \"" + TextOf(icaltime_as_ical_string(time)) +
                         "\" is no real date");
    }
    TSeconds fields = SecondsOf(time);
    // A moved occurrence of an all-day series is matched by its date, whatever time it names.
    if (time.is_date || clock.Day()) {
        return {DayStart(fields), true};
    }
    std::optional<TSeconds> utc;
    if (icaltime_is_utc(time)) {
        utc = fields;
    } else if (!tzid.empty()) {
        const TZone* zone = zones.Find(tzid);
        if (zone == nullptr) {
            throw ESkipEvent("unknown time zone \"" + tzid + "\"");
        }
        utc = zone->UtcOf(fields);
    }
    return {utc ? clock.WallOf(*utc) : fields, false};
}

// More steps than this through one rule and its expansion stops (and the event is Capped): a
// rule counted from long ago in seconds would otherwise run for hours.
constexpr size_t RuleStepBudget = 2000000;

struct TEventParts {
    TICalEvent Event;
    icalcomponent* Component = nullptr;
    TZones* Zones = nullptr;
    size_t Position = 0;
    TClock Clock;
    icaltimetype Start{};
    std::string StartTzid;
    TSeconds StartWall = 0;
    TSeconds Days = 1;  // the days each occurrence of an all-day event covers
    bool Cancelled = false;
    bool Repeats = false;
    std::vector<TWhen> RDates;
    std::vector<TWhen> ExDates;
    // An override: the occurrence it names, and whether it names the later ones too.
    bool Override = false;
    icaltimetype RecurrenceID{};
    std::string RecurrenceTzid;
    bool ThisAndFuture = false;
    int Sequence = 0;
    icaltimetype Stamp{};
};

// Wall-clock bounds of the expansion: the window with a margin of the zone offsets and of an
// all-day event's length.
struct TWallRange {
    TSeconds From = 0;
    TSeconds Until = 0;
};

TWallRange WallRange(const TICalWindow& window, TSeconds days) {
    return {SecondsOf(DayOf(window.From)) - (2 + days) * DaySeconds,
            SecondsOf(DayOf(window.Until)) + 3 * DaySeconds};
}

bool InWindow(const TICalWindow& window, const TICalStamp& start) {
    TICalStamp day = DayOf(start);
    return !(day < DayOf(window.From)) && !(DayOf(window.Until) < day);
}

// The starts of an event on its wall clock, each once, in order: DTSTART, the times of its
// RRULEs and RDATEs less its EXDATEs, those of a repeating event inside Range only.
std::vector<TSeconds> StartsOf(const TEventParts& parts, const TWallRange& range, bool& more) {
    if (!parts.Repeats) {
        return {parts.StartWall};
    }
    std::vector<TSeconds> starts;
    auto add = [&](TSeconds wall) {
        if (wall >= range.From && wall <= range.Until) {
            starts.push_back(wall);
        }
    };
    add(parts.StartWall);
    const bool day = parts.Clock.Day();
    const size_t wanted = ICalOccurrenceCap + parts.RDates.size() + parts.ExDates.size() + 2;
    icalcomponent* event = parts.Component;
    for (icalproperty* p = icalcomponent_get_first_property(event, ICAL_RRULE_PROPERTY);
         p != nullptr; p = icalcomponent_get_next_property(event, ICAL_RRULE_PROPERTY)) {
        icalrecurrencetype rule = icalproperty_get_rrule(p);
        TSeconds last = range.Until;
        if (!icaltime_is_null_time(rule.until)) {
            // UNTIL in UTC names a moment; on the wall clock it is where the rule stops. A
            // floating series with a UTC UNTIL (which RFC 5545 does not allow) ends as written.
            icaltimetype end = rule.until;
            if (parts.Clock.Kind == TClock::TKind::Floating) {
                end.zone = nullptr;
            }
            TWhen until = WhenOf(end, "", parts.Clock, *parts.Zones, "UNTIL");
            last =
                std::min(last, until.DateOnly && !day ? until.Wall + DaySeconds - 1 : until.Wall);
            rule.until = icaltime_null_time();
        }
        icalrecur_iterator* iterator =
            icalrecur_iterator_new(rule, ToICalTime(StampOf(parts.StartWall), day));
        if (iterator == nullptr) {
            continue;
        }
        if (rule.count == 0 && parts.StartWall < range.From) {
            icalrecur_iterator_set_start(iterator, ToICalTime(StampOf(range.From), day));
        }
        size_t steps = 0;
        size_t kept = 0;
        for (icaltimetype next = icalrecur_iterator_next(iterator); !icaltime_is_null_time(next);
             next = icalrecur_iterator_next(iterator)) {
            TSeconds wall = SecondsOf(next);
            if (wall > last) {
                break;
            }
            if (++steps > RuleStepBudget || kept >= wanted) {
                more = true;
                break;
            }
            if (wall >= range.From) {
                add(wall);
                ++kept;
            }
        }
        icalrecur_iterator_free(iterator);
    }
    for (const TWhen& rdate : parts.RDates) {
        // A day of a timed series keeps the series' time of day.
        add(rdate.DateOnly && !day ? rdate.Wall + (parts.StartWall - DayStart(parts.StartWall))
                                   : rdate.Wall);
    }
    // RFC 5545 3.8.5.3: an instance named twice is one instance.
    std::sort(starts.begin(), starts.end());
    starts.erase(std::unique(starts.begin(), starts.end(),
                             [&](TSeconds a, TSeconds b) {
                                 return TWhen{a, day}.SameAs(TWhen{b, day});
                             }),
                 starts.end());
    std::erase_if(starts, [&](TSeconds wall) {
        return std::any_of(parts.ExDates.begin(), parts.ExDates.end(), [&](const TWhen& ex) {
            return ex.SameAs(TWhen{wall, day});
        });
    });
    return starts;
}

// Adds the occurrence that starts at Wall on Clock: one for a timed event, one per day for an
// all-day event. Window, when given, keeps only those on its days.
void AddOccurrence(std::vector<TICalOccurrence>& found, const TClock& clock, TSeconds days,
                   TSeconds wall, const std::string& key, const TICalWindow* window, bool& more) {
    for (TSeconds d = 0; d < (clock.Day() ? days : 1); ++d) {
        TICalStamp start = clock.Local(wall + d * DaySeconds);
        if (window != nullptr && !InWindow(*window, start)) {
            continue;
        }
        if (found.size() > ICalOccurrenceCap) {
            more = true;
            return;
        }
        found.push_back({start, key});
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

// The property a libical error names ("Can't parse as GEO value in GEO property. ...", "Invalid
// VALUE type for property DTSTAMP: ...", "Parse error in property name: FOO BAR"), or "".
std::string PropertyOfError(const std::string& error) {
    std::string head = error.substr(0, error.find(". Removing entire property"));
    auto wordBefore = [&](size_t end) {
        size_t begin = head.rfind(' ', end - 1);
        return head.substr(begin == std::string::npos ? 0 : begin + 1,
                           end - (begin == std::string::npos ? 0 : begin + 1));
    };
    if (size_t at = head.find("property name: "); at != std::string::npos) {
        return head.substr(at + 15);
    }
    if (size_t at = head.find("for property "); at != std::string::npos) {
        std::string rest = head.substr(at + 13);
        return rest.substr(0, rest.find_first_of(": "));
    }
    if (size_t at = head.find(" property"); at != std::string::npos && at > 0) {
        return wordBefore(at);
    }
    return std::string();
}

// What decides an event's occurrences: when one of these cannot be read, neither can the event.
bool DecidesOccurrences(const std::string& property) {
    for (const char* name : {"DTSTART", "RRULE", "RDATE", "EXDATE", "RECURRENCE-ID"}) {
        if (EqualsNoCase(property, name)) {
            return true;
        }
    }
    return false;
}

// Reads what an event says about itself; raises ESkipEvent for what makes it unusable.
TEventParts ReadEvent(TZones& zones, icalcomponent* component, size_t position,
                      const std::optional<std::string>& writtenSummary) {
    TEventParts parts;
    parts.Component = component;
    parts.Zones = &zones;
    parts.Position = position;
    TICalEvent& event = parts.Event;
    event.UID = TextOf(icalcomponent_get_uid(component));
    icalproperty* summary = icalcomponent_get_first_property(component, ICAL_SUMMARY_PROPERTY);
    event.Summary = summary != nullptr ? TextOf(icalproperty_get_summary(summary)) : std::string();
    // libical trims the blanks at the ends of a text; the summary as written keeps them.
    if (writtenSummary && writtenSummary->find_first_not_of(" \t") != std::string::npos &&
        writtenSummary->substr(writtenSummary->find_first_not_of(" \t"),
                               writtenSummary->find_last_not_of(" \t") -
                                   writtenSummary->find_first_not_of(" \t") + 1) == event.Summary) {
        event.Summary = *writtenSummary;
    }
    event.Name = EventName(event.UID, event.Summary, position);

    // libical drops a property it cannot read and leaves an error in its place. One that decides
    // the occurrences makes the event unusable; any other is left out and named.
    for (icalproperty* p = icalcomponent_get_first_property(component, ICAL_XLICERROR_PROPERTY);
         p != nullptr; p = icalcomponent_get_next_property(component, ICAL_XLICERROR_PROPERTY)) {
        std::string error = TextOf(icalproperty_get_xlicerror(p));
        std::string property = PropertyOfError(error);
        if (DecidesOccurrences(property)) {
            throw ESkipEvent("broken property: " + error);
        }
        if (error.rfind("No value for ", 0) != 0) {
            event.Warnings.push_back("left out " +
                                     (property.empty() ? "a property" : "property " + property) +
                                     " that cannot be read: " + error);
        }
    }
    bool ours = false;
    for (icalproperty* p = icalcomponent_get_first_property(component, ICAL_X_PROPERTY);
         p != nullptr; p = icalcomponent_get_next_property(component, ICAL_X_PROPERTY)) {
        std::string name = TextOf(icalproperty_get_x_name(p));
        try {
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
        } catch (const ESkipEvent& broken) {
            // Our texts decide no occurrence either: the event still imports.
            event.Warnings.push_back("left out property " + name +
                                     " that cannot be read: " + broken.what());
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
    parts.Sequence = icalcomponent_get_sequence(component);
    icalproperty* stamp = icalcomponent_get_first_property(component, ICAL_DTSTAMP_PROPERTY);
    parts.Stamp = stamp != nullptr ? icalproperty_get_dtstamp(stamp) : icaltime_null_time();

    icalproperty* dtstart = icalcomponent_get_first_property(component, ICAL_DTSTART_PROPERTY);
    if (dtstart == nullptr) {
        throw ESkipEvent("no DTSTART");
    }
    parts.Start = icalproperty_get_dtstart(dtstart);
    if (icaltime_is_null_time(parts.Start) || !IsRealTime(parts.Start)) {
        throw ESkipEvent("DTSTART \"" + TextOf(icalproperty_get_value_as_string(dtstart)) +
                         "\" is no real date");
    }
    parts.StartTzid = TzidOf(dtstart);
    event.AllDay = parts.Start.is_date != 0;
    if (event.AllDay) {
        parts.Clock.Kind = TClock::TKind::Day;
    } else if (icaltime_is_utc(parts.Start)) {
        parts.Clock.Kind = TClock::TKind::Utc;
    } else if (!parts.StartTzid.empty()) {
        parts.Clock.Kind = TClock::TKind::Zoned;
        parts.Clock.Zone = zones.Find(parts.StartTzid);
        if (parts.Clock.Zone == nullptr) {
            throw ESkipEvent("unknown time zone \"" + parts.StartTzid + "\"");
        }
    }
    parts.StartWall = SecondsOf(parts.Start);
    if (event.AllDay) {
        // An all-day event covers each day from its start up to (not including) its end.
        icaltimetype end = icalcomponent_get_dtend(component);
        if (!icaltime_is_null_time(end) && IsRealTime(end)) {
            parts.Days =
                std::max<TSeconds>(1, (DayStart(SecondsOf(end)) - parts.StartWall) / DaySeconds);
        }
    }

    icalproperty* recurrence =
        icalcomponent_get_first_property(component, ICAL_RECURRENCEID_PROPERTY);
    if (recurrence != nullptr) {
        // RFC 5545 3.8.4.4: an override is one occurrence; a rule of its own is no series.
        for (icalproperty_kind kind : {ICAL_RRULE_PROPERTY, ICAL_RDATE_PROPERTY}) {
            std::vector<icalproperty*> extra;
            for (icalproperty* p = icalcomponent_get_first_property(component, kind); p != nullptr;
                 p = icalcomponent_get_next_property(component, kind)) {
                extra.push_back(p);
            }
            for (icalproperty* p : extra) {
                icalcomponent_remove_property(component, p);
                icalproperty_free(p);
            }
            if (!extra.empty()) {
                event.Warnings.push_back(
                    std::string("ignored the ") +
                    (kind == ICAL_RRULE_PROPERTY ? "RRULE" : "RDATE") +
                    " of an event with RECURRENCE-ID: it replaces one occurrence");
            }
        }
        parts.Override = true;
        parts.RecurrenceID = icalproperty_get_recurrenceid(recurrence);
        parts.RecurrenceTzid = TzidOf(recurrence);
        WhenOf(parts.RecurrenceID, parts.RecurrenceTzid, parts.Clock, zones, "RECURRENCE-ID");
        // Its zone is needed when a timed series reads it, whatever this event's own clock.
        if (!parts.RecurrenceID.is_date && !icaltime_is_utc(parts.RecurrenceID) &&
            !parts.RecurrenceTzid.empty() && zones.Find(parts.RecurrenceTzid) == nullptr) {
            throw ESkipEvent("unknown time zone \"" + parts.RecurrenceTzid + "\"");
        }
        icalparameter* range = icalproperty_get_first_parameter(recurrence, ICAL_RANGE_PARAMETER);
        parts.ThisAndFuture =
            range != nullptr && icalparameter_get_range(range) == ICAL_RANGE_THISANDFUTURE;
    }
    for (icalproperty* p = icalcomponent_get_first_property(component, ICAL_RRULE_PROPERTY);
         p != nullptr; p = icalcomponent_get_next_property(component, ICAL_RRULE_PROPERTY)) {
        icaltimetype until = icalproperty_get_rrule(p).until;
        if (!icaltime_is_null_time(until) && !IsRealTime(until)) {
            throw ESkipEvent("UNTIL \"" + TextOf(icaltime_as_ical_string(until)) +
                             "\" is no real date");
        }
    }
    parts.Repeats = icalcomponent_get_first_property(component, ICAL_RRULE_PROPERTY) != nullptr ||
                    icalcomponent_get_first_property(component, ICAL_RDATE_PROPERTY) != nullptr;
    for (icalproperty* p = icalcomponent_get_first_property(component, ICAL_RDATE_PROPERTY);
         p != nullptr; p = icalcomponent_get_next_property(component, ICAL_RDATE_PROPERTY)) {
        // RFC 5545 3.8.5.2: a period's start is an occurrence.
        icaldatetimeperiodtype value = icalproperty_get_rdate(p);
        icaltimetype time = icaltime_is_null_time(value.time) ? value.period.start : value.time;
        parts.RDates.push_back(WhenOf(time, TzidOf(p), parts.Clock, zones, "RDATE"));
    }
    for (icalproperty* p = icalcomponent_get_first_property(component, ICAL_EXDATE_PROPERTY);
         p != nullptr; p = icalcomponent_get_next_property(component, ICAL_EXDATE_PROPERTY)) {
        parts.ExDates.push_back(
            WhenOf(icalproperty_get_exdate(p), TzidOf(p), parts.Clock, zones, "EXDATE"));
    }
    return parts;
}

// Of two overrides of one occurrence, the one that counts: the higher SEQUENCE, then the later
// DTSTAMP, then the later in the file.
bool Supersedes(const TEventParts& a, const TEventParts& b) {
    if (a.Sequence != b.Sequence) {
        return a.Sequence > b.Sequence;
    }
    int stamps = icaltime_compare(a.Stamp, b.Stamp);
    return stamps != 0 ? stamps > 0 : a.Position > b.Position;
}

// An override as a series sees it: the occurrence it names and where it moves it, on the
// series' wall clock.
struct TNamedOccurrence {
    size_t Override = 0;
    TWhen Names;
    TWhen MovesTo;
};

TNamedOccurrence Named(const TEventParts& override, size_t index, const TClock& clock) {
    TNamedOccurrence named;
    named.Override = index;
    named.Names = WhenOf(override.RecurrenceID, override.RecurrenceTzid, clock, *override.Zones,
                         "RECURRENCE-ID");
    named.MovesTo = WhenOf(override.Start, override.StartTzid, clock, *override.Zones, "DTSTART");
    return named;
}

// The RECURRENCE-ID of an override without its series, as a key: a day, a floating time, or
// the UTC time of a moment.
std::string KeyAsWritten(const TEventParts& override) {
    const icaltimetype& id = override.RecurrenceID;
    TSeconds fields = SecondsOf(id);
    if (id.is_date || (!icaltime_is_utc(id) && override.RecurrenceTzid.empty())) {
        return StampText(StampOf(fields), id.is_date != 0);
    }
    TSeconds utc =
        icaltime_is_utc(id) ? fields : override.Zones->Find(override.RecurrenceTzid)->UtcOf(fields);
    return StampText(StampOf(utc), false) + "Z";
}

}  // namespace

TICalendar ReadICalendar(const std::string& Text, const TICalWindow& Window) {
    icalerror_set_errors_are_fatal(0);
    tzset();
    TICalTextScan scan = ScanICalText(Text);
    if (!scan.Unclosed.empty()) {
        throw ECutOffCalendar("END:" + scan.Unclosed + " is missing: the file looks cut off");
    }
    TComponentPtr root(icalparser_parse_string(Text.c_str()));
    // RFC 5545 3.4: a stream holds one or more calendars; libical gathers several under a root.
    std::vector<icalcomponent*> calendars;
    if (root != nullptr && icalcomponent_isa(root.get()) == ICAL_VCALENDAR_COMPONENT) {
        calendars.push_back(root.get());
    } else if (root != nullptr) {
        for (icalcomponent* c =
                 icalcomponent_get_first_component(root.get(), ICAL_VCALENDAR_COMPONENT);
             c != nullptr;
             c = icalcomponent_get_next_component(root.get(), ICAL_VCALENDAR_COMPONENT)) {
            calendars.push_back(c);
        }
    }
    if (calendars.empty()) {
        throw EICalError("no iCalendar data (BEGIN:VCALENDAR is missing)");
    }

    TICalendar result;
    std::vector<std::unique_ptr<TZones>> zones;
    std::vector<TEventParts> events;
    events.reserve(scan.Summaries.size());  // one per event, as the text scan counted them
    size_t position = 0;
    for (icalcomponent* calendar : calendars) {
        zones.push_back(std::make_unique<TZones>(calendar));
        std::vector<icalcomponent*> components;
        for (icalcomponent* c = icalcomponent_get_first_component(calendar, ICAL_VEVENT_COMPONENT);
             c != nullptr; c = icalcomponent_get_next_component(calendar, ICAL_VEVENT_COMPONENT)) {
            components.push_back(c);
        }
        for (icalcomponent* c : components) {
            std::optional<std::string> written;
            if (position < scan.Summaries.size()) {
                written = scan.Summaries[position];
            }
            ++position;
            try {
                events.push_back(ReadEvent(*zones.back(), c, position, written));
            } catch (const ESkipEvent& skip) {
                icalproperty* summary = icalcomponent_get_first_property(c, ICAL_SUMMARY_PROPERTY);
                std::string uid = TextOf(icalcomponent_get_uid(c));
                result.Skipped.push_back(
                    {uid,
                     EventName(uid,
                               summary != nullptr ? TextOf(icalproperty_get_summary(summary)) : "",
                               position),
                     skip.what()});
            }
        }
    }

    // The series of each UID and its overrides; of two overrides of one occurrence only one
    // counts.
    std::map<std::string, std::vector<size_t>> seriesOf;
    std::map<std::string, std::vector<size_t>> overridesOf;
    for (size_t i = 0; i < events.size(); ++i) {
        if (events[i].Override) {
            overridesOf[events[i].Event.UID].push_back(i);
        } else if (events[i].Repeats) {
            seriesOf[events[i].Event.UID].push_back(i);
        }
    }
    std::vector<bool> superseded(events.size(), false);
    for (auto& [uid, overrides] : overridesOf) {
        // What each names, on the clock of its series (or of the first override).
        auto series = seriesOf.find(uid);
        const TClock& clock =
            events[series != seriesOf.end() ? series->second.front() : overrides.front()].Clock;
        std::map<std::pair<bool, TSeconds>, size_t> counting;
        for (size_t o : overrides) {
            TWhen names = Named(events[o], o, clock).Names;
            auto [at, first] = counting.emplace(
                std::make_pair(names.DateOnly, names.DateOnly ? DayStart(names.Wall) : names.Wall),
                o);
            if (!first) {
                superseded[Supersedes(events[o], events[at->second]) ? std::exchange(at->second, o)
                                                                     : o] = true;
            }
        }
        std::erase_if(overrides, [&](size_t i) { return superseded[i]; });
    }

    std::vector<std::vector<TICalOccurrence>> found(events.size());
    std::deque<bool> more(events.size(), false);  // deque: its elements bind to bool&
    for (size_t i = 0; i < events.size(); ++i) {
        TEventParts& parts = events[i];
        if (parts.Override || parts.Cancelled) {
            continue;
        }
        bool cut = false;
        std::vector<TSeconds> starts = StartsOf(parts, WallRange(Window, parts.Days), cut);
        more[i] = more[i] || cut;
        if (!parts.Repeats) {
            AddOccurrence(found[i], parts.Clock, parts.Days, starts.front(), "", nullptr, more[i]);
            continue;
        }
        std::vector<TNamedOccurrence> singles;
        std::vector<TNamedOccurrence>
            ranges;  // RANGE=THISANDFUTURE, in the order of what they name
        if (auto overrides = overridesOf.find(parts.Event.UID); overrides != overridesOf.end()) {
            for (size_t o : overrides->second) {
                TNamedOccurrence named = Named(events[o], o, parts.Clock);
                (events[o].ThisAndFuture ? ranges : singles).push_back(named);
            }
        }
        std::stable_sort(ranges.begin(), ranges.end(),
                         [](const auto& a, const auto& b) { return a.Names.Wall < b.Names.Wall; });
        for (TSeconds wall : starts) {
            TWhen start{wall, parts.Clock.Day()};
            if (std::any_of(singles.begin(), singles.end(),
                            [&](const TNamedOccurrence& s) { return s.Names.SameAs(start); })) {
                continue;  // the override stands in for it
            }
            // RFC 5545 3.2.13: an override with RANGE=THISANDFUTURE moves and renames its
            // occurrence and every later one, up to the next such override.
            const TNamedOccurrence* range = nullptr;
            for (const TNamedOccurrence& r : ranges) {
                if (r.Names.SameAs(start) || r.Names.Wall < wall) {
                    range = &r;
                }
            }
            std::string key = parts.Clock.Key(wall);
            if (range == nullptr) {
                AddOccurrence(found[i], parts.Clock, parts.Days, wall, key, &Window, more[i]);
            } else if (!range->Names.SameAs(start) && !events[range->Override].Cancelled) {
                TSeconds moved = wall + (range->MovesTo.Wall - range->Names.Wall);
                AddOccurrence(found[range->Override], parts.Clock, parts.Days, moved, key, &Window,
                              more[range->Override]);
            }
        }
    }
    // Each override's own occurrence: keyed as its series names it; an override of a series in
    // the file stands in for one of its occurrences inside the window; alone, it is an event
    // like any other.
    for (size_t i = 0; i < events.size(); ++i) {
        TEventParts& parts = events[i];
        if (!parts.Override || superseded[i] || parts.Cancelled) {
            continue;
        }
        auto series = seriesOf.find(parts.Event.UID);
        std::string key;
        if (series != seriesOf.end()) {
            const TClock& clock = events[series->second.front()].Clock;
            TWhen names = Named(parts, i, clock).Names;
            key = names.DateOnly && !clock.Day() ? StampText(StampOf(names.Wall), true)
                                                 : clock.Key(names.Wall);
        } else {
            key = KeyAsWritten(parts);
        }
        AddOccurrence(found[i], parts.Clock, parts.Days, parts.StartWall, key,
                      series != seriesOf.end() ? &Window : nullptr, more[i]);
    }

    result.Events.reserve(events.size());
    for (size_t i = 0; i < events.size(); ++i) {
        if (superseded[i]) {
            continue;
        }
        std::vector<TICalOccurrence>& occurrences = found[i];
        if (occurrences.size() > 1) {  // sorting one would still take a buffer
            std::stable_sort(occurrences.begin(), occurrences.end(),
                             [](const TICalOccurrence& a, const TICalOccurrence& b) {
                                 return a.Start < b.Start;
                             });
        }
        if (occurrences.size() > ICalOccurrenceCap) {
            occurrences.resize(ICalOccurrenceCap);
            more[i] = true;
        }
        TICalEvent& event = events[i].Event;
        event.Cancelled = events[i].Cancelled;
        event.Occurrences = std::move(occurrences);
        event.Capped = more[i];
        result.Events.push_back(std::move(event));
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
    icalcomponent_add_property(
        event.get(), icalproperty_new_rrule(icalrecurrencetype_from_string(Rule.c_str())));
    TZones zones(nullptr);
    TEventParts parts;
    parts.Component = event.get();
    parts.Zones = &zones;
    parts.StartWall = SecondsOf(First);
    parts.Repeats = true;
    Capped = false;
    std::vector<TICalOccurrence> found;
    for (TSeconds wall : StartsOf(parts, WallRange(Window, 1), Capped)) {
        AddOccurrence(found, parts.Clock, 1, wall, "", &Window, Capped);
    }
    if (found.size() > ICalOccurrenceCap) {
        found.resize(ICalOccurrenceCap);
        Capped = true;
    }
    std::vector<TICalStamp> starts;
    for (const TICalOccurrence& occurrence : found) {
        starts.push_back(occurrence.Start);
    }
    icalmemory_free_ring();
    return starts;
}

// --- writing -------------------------------------------------------------------------------------

namespace {

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
    Stamp = StampText(StampOf(std::time(nullptr)), false) + "Z";
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
        TICalStamp next = StampOf(SecondsOf(DayOf(Event.Start)) + DaySeconds);
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
