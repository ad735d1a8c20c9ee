// Writing a calendar: one VEVENT at a time, texts escaped and folded by libical.
#include <ctime>
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
