// Reading a calendar text: each VEVENT with its own properties, then their occurrences.
#include <algorithm>
#include <cctype>
#include <ctime>

#include "ICalPrivate.h"
#include "ICalTextScan.h"
#include "Text.h"

using namespace ical;

namespace {

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
    if (writtenSummary && !Trimmed(*writtenSummary).empty() &&
        Trimmed(*writtenSummary) == event.Summary) {
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
    // The store reads no years outside these: an event on such a day is skipped, not the whole
    // file. A series may begin long before (birthdays from 1604): only its occurrences inside
    // the window are read.
    const bool series =
        icalcomponent_get_first_property(component, ICAL_RECURRENCEID_PROPERTY) == nullptr &&
        (icalcomponent_get_first_property(component, ICAL_RRULE_PROPERTY) != nullptr ||
         icalcomponent_get_first_property(component, ICAL_RDATE_PROPERTY) != nullptr);
    auto inYears = [series](const icaltimetype& time, const char* what) {
        if (!series && (time.year < MinYear || time.year > MaxYear)) {
            throw ESkipEvent(std::string(what) + " " + TextOf(icaltime_as_ical_string(time)) +
                             " is outside " + YearRangeText());
        }
    };
    inYears(parts.Start, "DTSTART");
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
            inYears(end, "DTEND");
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

}  // namespace

TICalendar ReadICalendar(const std::string& Given, const TICalWindow& Window) {
    icalerror_set_errors_are_fatal(0);
    tzset();
    const std::string Text = CalendarTextAsUtf8(Given);
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
        std::string what = WhatTextIs(Given);
        throw EICalError(what.empty() ? "no iCalendar data (BEGIN:VCALENDAR is missing)"
                                      : "no iCalendar data: " + what);
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

    result.Events = ExpandEvents(events, Window);
    icalmemory_free_ring();
    return result;
}
