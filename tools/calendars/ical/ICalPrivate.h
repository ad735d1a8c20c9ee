// What the parts of the libical adapter share: libical's handles with their deleters, the clock
// events are worked out on, the zones of a calendar, and an event as it is read. Private to
// tools/calendars/ical/: everything else sees only ICalAdapter.h.
#pragma once

extern "C" {
#include <libical/ical.h>
}

#include <cstdint>
#include <limits>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "ICalAdapter.h"

namespace ical {

struct TComponentFree {
    void operator()(icalcomponent* component) const noexcept { icalcomponent_free(component); }
};
using TComponentPtr = std::unique_ptr<icalcomponent, TComponentFree>;

struct TBufferFree {
    void operator()(char* buffer) const noexcept { icalmemory_free_buffer(buffer); }
};
using TBufferPtr = std::unique_ptr<char, TBufferFree>;

struct TRecurIteratorFree {
    void operator()(icalrecur_iterator* iterator) const noexcept {
        icalrecur_iterator_free(iterator);
    }
};
using TRecurIteratorPtr = std::unique_ptr<icalrecur_iterator, TRecurIteratorFree>;

// One event that cannot be used: caught per event, so the others still import.
class ESkipEvent : public EMondrelError {
  public:
    using EMondrelError::EMondrelError;
};

inline std::string TextOf(const char* text) {
    return text != nullptr ? std::string(text) : std::string();
}

// --- text codecs (TextCodecs.cpp) ---------------------------------------------------------------

// A calendar text as UTF-8 with line feeds: UTF-16 with a byte-order mark converted, bytes that
// are no UTF-8 read as Windows-1252 (Latin-1 where they agree), and CR-only line ends as LF.
// UTF-16 without a mark is known by the zero bytes beside its ASCII letters.
std::string CalendarTextAsUtf8(const std::string& text);
// What a text that holds no calendar is, in a few words ("it is a web page (HTML)..."), from its
// bytes as given; "" for text that is none of the kinds told apart.
std::string WhatTextIs(const std::string& text);
std::string EncodeBase64(const std::string& bytes);
// Raises ESkipEvent for a text that is no base64.
std::string DecodeBase64(const std::string& text);
// Valid UTF-8 without control characters other than tab and line feed, and no blank at either
// end (libical's reader trims those): what TEXT carries exactly.
bool FitsText(const std::string& text);
// What another calendar shows of a text that TEXT cannot carry: the control characters dropped,
// each byte that is no UTF-8 as U+FFFD, everything else (blanks too) as it stands.
std::string ShownText(const std::string& text);

// --- times (Clock.cpp) ---------------------------------------------------------------------------

// Seconds since 1970-01-01 00:00:00 on a clock without zone: a wall clock, or UTC.
using TSeconds = int64_t;
constexpr TSeconds DaySeconds = 86400;

TSeconds SecondsOf(const TICalStamp& stamp);
TSeconds SecondsOf(const icaltimetype& time);
TSeconds DayStart(TSeconds seconds);
TICalStamp StampOf(TSeconds seconds);
// The machine's local time (TZ honoured) and UTC.
TSeconds LocalToUtc(const TICalStamp& stamp);
TICalStamp UtcToLocal(TSeconds utc);
TICalStamp DayOf(const TICalStamp& stamp);
// 20270104 for a day, 20270104T090000 for a time.
std::string StampText(const TICalStamp& stamp, bool day);
bool IsRealTime(const icaltimetype& time);
icaltimetype ToICalTime(const TICalStamp& stamp, bool day);

// --- zones (TimeZones.cpp) -----------------------------------------------------------------------

// A zone as an event's times name it: a VTIMEZONE of the file, the system's zone of an Olson
// name, or both, when the file's zone carries an Olson name but its observances cover some years
// only: outside them the system's zone answers.
struct TZone {
    icaltimezone* Own = nullptr;
    icaltimezone* System = nullptr;
    TSeconds CoveredFrom = std::numeric_limits<TSeconds>::min();
    TSeconds CoveredUntil = std::numeric_limits<TSeconds>::max();

    int OffsetAt(TSeconds utc) const;
    // RFC 5545 3.3.5: a wall-clock time the zone skips is read with the offset before the gap;
    // one it passes twice is the first of the two.
    TSeconds UtcOf(TSeconds wall) const;
    TSeconds WallOf(TSeconds utc) const { return utc + OffsetAt(utc); }
};

// The zones the TZIDs of one VCALENDAR name, each looked up once.
class TZones {
  public:
    explicit TZones(icalcomponent* calendar) : Calendar(calendar) {}

    // A VTIMEZONE of the file (by its TZID without blanks and quotes around it), the system's
    // zone of an Olson name, or of a Windows zone name; null when none is found.
    const TZone* Find(const std::string& tzid);

  private:
    std::optional<TZone> Lookup(const std::string& tzid) const;

    icalcomponent* Calendar;
    std::map<std::string, std::optional<TZone>> Known;
};

// The TZID parameter of a property, or "".
std::string TzidOf(icalproperty* property);

// --- the clock of an event (Clock.cpp) -----------------------------------------------------------

// How an event's times are read. A time in a zone (UTC or TZID) is a real moment, shown in the
// machine's local time; a floating time and a day stand as they are. Occurrences are worked out
// on the event's wall clock, so a repeating 09:00 stays 09:00 across clock changes.
struct TClock {
    enum class TKind { Floating, Day, Utc, Zoned };
    TKind Kind = TKind::Floating;
    const TZone* Zone = nullptr;

    bool Day() const { return Kind == TKind::Day; }
    TSeconds UtcOf(TSeconds wall) const;
    TSeconds WallOf(TSeconds utc) const;
    TICalStamp Local(TSeconds wall) const;
    // Which occurrence this is, as its RECURRENCE-ID names it: a UTC time for a zoned event, a
    // floating time, or a day.
    std::string Key(TSeconds wall) const;
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

// A date or time of the event read on Clock; raises ESkipEvent (naming What) for one that is no
// real date or names an unknown zone.
TWhen WhenOf(const icaltimetype& time, const std::string& tzid, const TClock& clock, TZones& zones,
             const std::string& what);

// --- an event as it is read (EventReading.cpp) ---------------------------------------------------

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

// --- repeat expansion (Clock.cpp) ----------------------------------------------------------------

// Wall-clock bounds of the expansion: the window with a margin of the zone offsets and of an
// all-day event's length.
struct TWallRange {
    TSeconds From = 0;
    TSeconds Until = 0;
    const TICalWindow* Window = nullptr;  // the window itself: whether a start cut was in it
};

TWallRange WallRange(const TICalWindow& window, TSeconds days);

// The starts of an event on its wall clock, each once, in order: DTSTART, the times of its
// RRULEs and RDATEs less its EXDATEs, those of a repeating event inside Range only.
std::vector<TSeconds> StartsOf(const TEventParts& parts, const TWallRange& range, bool& more);

// Adds the occurrence that starts at Wall on Clock: one for a timed event, one per day for an
// all-day event. Window, when given, keeps only those on its days.
void AddOccurrence(std::vector<TICalOccurrence>& found, const TClock& clock, TSeconds days,
                   TSeconds wall, const std::string& key, const TICalWindow* window, bool& more);

// --- overrides (Overrides.cpp) -------------------------------------------------------------------

// The occurrences of every event read, with the overrides (RECURRENCE-ID) standing in for what
// they replace: the events in file order, less the overrides another one supersedes.
std::vector<TICalEvent> ExpandEvents(std::vector<TEventParts>& events, const TICalWindow& window);

}  // namespace ical
