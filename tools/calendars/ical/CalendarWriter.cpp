// Writing a calendar: one VEVENT at a time, texts escaped and folded by libical; and the times
// of an event moved, in the form its calendar gave them.
#include <ctime>
#include <memory>
#include <optional>
#include <ostream>

#include "ICalPrivate.h"

using namespace ical;

namespace {

constexpr const char* ProdID = "-//Mondrel//mondrel-db//EN";

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

struct TPropertyFree {
    void operator()(icalproperty* property) const noexcept { icalproperty_free(property); }
};
using TPropertyPtr = std::unique_ptr<icalproperty, TPropertyFree>;

// "DTSTART;TZID=Europe/Berlin" of "DTSTART;TZID=Europe/Berlin:20270304T090000": up to the
// first colon outside a quoted parameter value.
std::string NameAndParameters(const std::string& line) {
    bool quoted = false;
    for (size_t i = 0; i < line.size(); ++i) {
        if (line[i] == '"') {
            quoted = !quoted;
        } else if (line[i] == ':' && !quoted) {
            return line.substr(0, i);
        }
    }
    return line;
}

// One DTSTART or DTEND as written: its time, and the clock that reads it.
struct TWritten {
    std::string Line;
    icaltimetype Time = icaltime_null_time();
    std::string Tzid;
    const TZone* Zone = nullptr;  // the TZID's, when one was found

    bool Utc() const { return icaltime_is_utc(Time) != 0; }
    bool Zoned() const { return !Utc() && Zone != nullptr; }
    // Floating times and names of zones nobody knows are read as local time.
    TSeconds UtcOf() const {
        TSeconds fields = SecondsOf(Time);
        return Utc() ? fields : Zoned() ? Zone->UtcOf(fields) : LocalToUtc(StampOf(fields));
    }
    // The line in the same form for the moment Utc.
    std::string At(TSeconds utc) const {
        std::string name = NameAndParameters(Line);
        if (Utc()) {
            return name + ":" + StampText(StampOf(utc), false) + "Z";
        }
        if (Zoned()) {
            return name + ":" + StampText(StampOf(Zone->WallOf(utc)), false);
        }
        if (!Tzid.empty()) {  // a zone nobody knows: the moment, in UTC
            return name.substr(0, name.find(';')) + ":" + StampText(StampOf(utc), false) + "Z";
        }
        return name + ":" + StampText(UtcToLocal(utc), false);
    }
};

std::optional<TWritten> ReadWritten(const std::string& line, TZones& zones) {
    if (line.empty()) {
        return std::nullopt;
    }
    TPropertyPtr property(icalproperty_new_from_string(line.c_str()));
    if (!property) {
        return std::nullopt;
    }
    TWritten written;
    written.Line = line;
    icalproperty_kind kind = icalproperty_isa(property.get());
    if (kind == ICAL_DTSTART_PROPERTY) {
        written.Time = icalproperty_get_dtstart(property.get());
    } else if (kind == ICAL_DTEND_PROPERTY) {
        written.Time = icalproperty_get_dtend(property.get());
    } else {
        return std::nullopt;
    }
    if (!IsRealTime(written.Time)) {
        return std::nullopt;
    }
    written.Tzid = TzidOf(property.get());
    if (!written.Tzid.empty()) {
        written.Zone = zones.Find(written.Tzid);
    }
    return written;
}

std::string DayLine(const char* name, TSeconds day) {
    return std::string(name) + ";VALUE=DATE:" + StampText(StampOf(day), true);
}

}  // namespace

TICalMovedTimes ICalMovedTimes(const std::string& Text, const std::string& Start,
                               const std::string& End, const TICalStamp& Local, bool Day) {
    TComponentPtr root(Text.empty() ? nullptr : icalparser_parse_string(Text.c_str()));
    icalcomponent* calendar = root.get();
    if (calendar != nullptr && icalcomponent_isa(calendar) != ICAL_VCALENDAR_COMPONENT) {
        calendar = icalcomponent_get_first_component(calendar, ICAL_VCALENDAR_COMPONENT);
    }
    TZones zones(calendar);
    std::optional<TWritten> start = ReadWritten(Start, zones);
    std::optional<TWritten> end = ReadWritten(End, zones);
    const TSeconds utc = LocalToUtc(Local);
    TICalMovedTimes moved;
    if (!start) {
        moved.Start = "DTSTART:" + StampText(StampOf(utc), false) + "Z";
        return moved;
    }
    if (start->Time.is_date) {
        if (!Day) {
            moved.Start = "DTSTART:" + StampText(StampOf(utc), false) + "Z";
            return moved;
        }
        TSeconds day = SecondsOf(DayOf(Local));
        moved.Start = DayLine("DTSTART", day);
        if (end && end->Time.is_date) {
            moved.End = DayLine("DTEND", day + SecondsOf(end->Time) - SecondsOf(start->Time));
        }
        return moved;
    }
    moved.Start = start->At(utc);
    if (end && !end->Time.is_date) {
        moved.End = end->At(utc + end->UtcOf() - start->UtcOf());
    }
    return moved;
}

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
