// iCalendar (RFC 5545) in and out, and repeat rules, through libical. This file pair is the only
// one that sees libical: calendar texts become plain structs here, and plain structs become
// calendar texts.
#pragma once

#include <cstddef>
#include <iosfwd>
#include <optional>
#include <string>
#include <vector>

#include "MondrelError.h"

// A text that is no iCalendar at all: no VCALENDAR could be read from it.
class EICalError : public EMondrelError {
  public:
    using EMondrelError::EMondrelError;
};

// A calendar text that ends inside a component (an interrupted download): nothing of it is used.
class ECutOffCalendar : public EICalError {
  public:
    using EICalError::EICalError;
};

// A repeat rule libical refuses; the message is libical's reason.
class ERepeatRuleError : public EMondrelError {
  public:
    using EMondrelError::EMondrelError;
};

// A wall-clock moment in the machine's local time (or a day, with the time at 00:00:00).
struct TICalStamp {
    int Year = 0;
    int Month = 0;
    int Day = 0;
    int Hour = 0;
    int Minute = 0;
    int Second = 0;

    auto operator<=>(const TICalStamp&) const = default;
};

// The window repeating events are expanded in: every occurrence starting on a day from From to
// Until, both included, local time.
struct TICalWindow {
    TICalStamp From;
    TICalStamp Until;
};

// More occurrences than this of one event are cut (and the event marked Capped).
constexpr size_t ICalOccurrenceCap = 10000;

struct TICalOccurrence {
    TICalStamp Start;  // local time; an all-day event gives one occurrence per day at 00:00:00
    // Which occurrence of its series this is, as its RECURRENCE-ID would name it: a UTC time
    // (20270104T080000Z), a floating time (20270104T090000) or a day (20270104). Empty for an
    // event that does not repeat.
    std::string RecurrenceID;
};

struct TICalEvent {
    std::string UID;      // may be empty
    std::string Summary;  // unescaped, unfolded, byte for byte
    std::string Name;     // how messages name the event: its UID, or summary and position
    bool AllDay = false;
    bool Cancelled = false;  // STATUS:CANCELLED: no occurrences
    bool Capped = false;     // the occurrences were cut at ICalOccurrenceCap
    std::vector<std::string> Categories;
    // X-MONDREL-VALUE, -SCRIPT and -DONE. In an event with any X-MONDREL- property (one we
    // wrote) all three are set, a missing one empty or 0; otherwise each only when present.
    std::optional<std::string> Value;
    std::optional<std::string> Script;
    std::optional<int> Done;
    std::vector<TICalOccurrence> Occurrences;  // in time order; empty for a cancelled event
    // What was left out of a usable event: a broken property that does not decide its
    // occurrences, a rule on an override.
    std::vector<std::string> Warnings;
};

struct TICalSkipped {
    std::string UID;     // may be empty
    std::string Name;    // as TICalEvent::Name
    std::string Reason;  // "no DTSTART", "unknown time zone \"Mars/Olympus\"", ...
};

struct TICalendar {
    std::vector<TICalEvent> Events;  // in file order
    std::vector<TICalSkipped> Skipped;
};

// Reads every VEVENT of every VCALENDAR in Text. Text is UTF-8 (RFC 5545 3.1.4): UTF-16 with a
// byte-order mark is converted, bytes that are no UTF-8 are read as Windows-1252 (Latin-1), and
// a text with CR-only line ends is split at each CR. A TZID names the file's VTIMEZONE (matched
// without the quotes and blanks around it), else a zone of the system's database by its Olson
// name or its Windows name; a file's zone with an Olson name answers only for the years its
// observances cover. Occurrences are worked out on the event's own wall clock and then given in
// local time (TZ honoured): a time a clock change skips is read with the offset before the gap,
// one it repeats as the first. RRULE, RDATE (periods too) and EXDATE are expanded inside Window,
// each occurrence once; an event without them is taken whatever its date. An event with a
// RECURRENCE-ID replaces that occurrence of its series (matched by date when the series is
// all-day; with RANGE=THISANDFUTURE the later ones too); of two for one occurrence the higher
// SEQUENCE, then the later DTSTAMP, then the later in the file counts. Events whose start, zone
// or recurrence cannot be read land in Skipped. Raises ECutOffCalendar when Text ends inside a
// component and EICalError when it holds no calendar.
TICalendar ReadICalendar(const std::string& Text, const TICalWindow& Window);

// Text whose bytes a feed declared in Charset (its Content-Type's charset, any case), as UTF-8:
// ISO-8859-1 and Windows-1252 (read alike, as browsers do) and ISO-8859-15 byte by byte; any
// other charset, or none, unchanged, for ReadICalendar to read as it reads files.
std::string CalendarTextFromCharset(const std::string& Text, const std::string& Charset);

// Checks an RRULE text (FREQ=WEEKLY;BYDAY=MO,FR); raises ERepeatRuleError with libical's reason.
void CheckRepeatRule(const std::string& Rule);

// The starts of a floating event at First repeating by Rule, inside Window, at most
// ICalOccurrenceCap of them (Capped tells whether there were more).
std::vector<TICalStamp> ExpandRepeatRule(const std::string& Rule, const TICalStamp& First,
                                         const TICalWindow& Window, bool& Capped);

// One VEVENT to write. Texts are written escaped and folded, empty ones left out. A text that
// iCalendar's TEXT cannot carry unchanged (control characters, bytes that are no UTF-8) is
// written in base64 (ENCODING=BASE64); for the summary that goes into X-MONDREL-SUMMARY beside a
// SUMMARY other calendars can show, and ReadICalendar prefers it.
struct TICalOutEvent {
    std::string UID;
    std::string RecurrenceID;  // as TICalOccurrence::RecurrenceID; "" writes none
    TICalStamp Start;          // written as a floating local time, or a day when AllDay
    bool AllDay = false;
    std::string Summary;
    std::vector<std::string> Categories;
    std::optional<std::string> Value;
    std::optional<std::string> Script;
    std::optional<int> Done;
};

// The start and end of an event that is to start at Local (the machine's local time) instead,
// for writing it back: Start and End are its DTSTART and DTEND content lines, unfolded, as the
// calendar Text that holds the event has them (End may be empty: none). Each keeps its form: a
// TZID (of Text's VTIMEZONE or the system's zone), UTC or floating; the end keeps the event's
// length. A start on a day (VALUE=DATE) stays one when Day, on Local's day; otherwise the event
// becomes one at Local, in UTC, without an end. Start empty: a new event, at Local in UTC.
struct TICalMovedTimes {
    std::string Start;  // the DTSTART line
    std::string End;    // the DTEND line; "" for none
};
TICalMovedTimes ICalMovedTimes(const std::string& Text, const std::string& Start,
                               const std::string& End, const TICalStamp& Local, bool Day);

// Writes a calendar to Out event by event: VERSION:2.0, PRODID, CRLF line ends, lines folded at
// 75 octets.
class TICalWriter {
  public:
    explicit TICalWriter(std::ostream& Out);
    ~TICalWriter();
    TICalWriter(const TICalWriter&) = delete;
    TICalWriter& operator=(const TICalWriter&) = delete;

    void Add(const TICalOutEvent& Event);
    // Writes END:VCALENDAR; the calendar is complete only after Finish.
    void Finish();

  private:
    std::ostream& Out;
    std::string Stamp;  // DTSTAMP of every event
    bool Finished = false;
};
