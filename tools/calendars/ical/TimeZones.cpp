// The zones a calendar's times name: its own VTIMEZONEs, the system's by Olson or Windows name,
// and where the observances of a VTIMEZONE reach.
#include <algorithm>
#include <string_view>

#include "ICalPrivate.h"
#include "Text.h"
#include "WindowsZoneNames.h"

namespace ical {

namespace {

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
                TRecurIteratorPtr iterator(icalrecur_iterator_new(rule, dtstart));
                for (int i = 0; iterator != nullptr && i < rule.count && i < 10000; ++i) {
                    icaltimetype next = icalrecur_iterator_next(iterator.get());
                    if (icaltime_is_null_time(next)) {
                        break;
                    }
                    onset(next);
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
    std::string bare(Trimmed(name));
    if (bare.size() >= 2 && bare.front() == '"' && bare.back() == '"') {
        bare = Trimmed(std::string_view(bare).substr(1, bare.size() - 2));
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

}  // namespace

int TZone::OffsetAt(TSeconds utc) const {
    icaltimezone* zone = Own;
    if (zone == nullptr || (System != nullptr && (utc < CoveredFrom || utc > CoveredUntil))) {
        zone = System;
    }
    icaltimetype time = ToICalTime(StampOf(utc), false);
    time.zone = icaltimezone_get_utc_timezone();
    int daylight = 0;
    return icaltimezone_get_utc_offset_of_utc_time(zone, &time, &daylight);
}

TSeconds TZone::UtcOf(TSeconds wall) const {
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

const TZone* TZones::Find(const std::string& tzid) {
    auto known = Known.find(tzid);
    if (known == Known.end()) {
        known = Known.emplace(tzid, Lookup(tzid)).first;
    }
    return known->second ? &*known->second : nullptr;
}

std::optional<TZone> TZones::Lookup(const std::string& tzid) const {
    std::string bare = BareZoneName(tzid);
    for (icalcomponent* c = Calendar != nullptr ? icalcomponent_get_first_component(
                                                      Calendar, ICAL_VTIMEZONE_COMPONENT)
                                                : nullptr;
         c != nullptr; c = icalcomponent_get_next_component(Calendar, ICAL_VTIMEZONE_COMPONENT)) {
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

std::string TzidOf(icalproperty* property) {
    icalparameter* tzid = icalproperty_get_first_parameter(property, ICAL_TZID_PARAMETER);
    return tzid != nullptr ? TextOf(icalparameter_get_tzid(tzid)) : std::string();
}

}  // namespace ical
