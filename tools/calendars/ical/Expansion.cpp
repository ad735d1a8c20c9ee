// Repeat expansion: the starts RRULE, RDATE and EXDATE give an event inside a window, and the
// repeat rules of add --repeat.
#include <algorithm>

#include "ICalPrivate.h"
#include "Text.h"

namespace ical {

namespace {

// More steps than this through one rule and its expansion stops (and the event is Capped): a
// rule counted from long ago in seconds would otherwise run for hours.
constexpr size_t RuleStepBudget = 2000000;

bool InWindow(const TICalWindow& window, const TICalStamp& start) {
    TICalStamp day = DayOf(start);
    return !(day < DayOf(window.From)) && !(DayOf(window.Until) < day);
}

}  // namespace

TWallRange WallRange(const TICalWindow& window, TSeconds days) {
    return {SecondsOf(DayOf(window.From)) - (2 + days) * DaySeconds,
            SecondsOf(DayOf(window.Until)) + 3 * DaySeconds, &window};
}

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
        TRecurIteratorPtr iterator(
            icalrecur_iterator_new(rule, ToICalTime(StampOf(parts.StartWall), day)));
        if (iterator == nullptr) {
            continue;
        }
        if (rule.count == 0 && parts.StartWall < range.From) {
            icalrecur_iterator_set_start(iterator.get(), ToICalTime(StampOf(range.From), day));
        }
        size_t steps = 0;
        size_t kept = 0;
        // RFC 5545 3.3.10: DTSTART is the first of COUNT occurrences even where the rule does not
        // produce it; libical counts only what the rule produces.
        int counted = 1;
        for (icaltimetype next = icalrecur_iterator_next(iterator.get());
             !icaltime_is_null_time(next); next = icalrecur_iterator_next(iterator.get())) {
            TSeconds wall = SecondsOf(next);
            if (wall > last) {
                break;
            }
            if (rule.count > 0 && wall != parts.StartWall && ++counted > rule.count) {
                break;
            }
            if (++steps > RuleStepBudget) {
                more = true;
                break;
            }
            if (kept >= wanted) {
                // Cut: only a start on a day of the window is missed (the range has margins).
                more = more || range.Window == nullptr ||
                       InWindow(*range.Window, parts.Clock.Local(wall));
                break;
            }
            if (wall >= range.From) {
                add(wall);
                ++kept;
            }
        }
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

}  // namespace ical

using namespace ical;

namespace {

// Whether Rule has a FREQ part naming a frequency libical knows.
bool HasFrequency(const std::string& Rule) {
    std::string_view rest(Rule);
    while (!rest.empty()) {
        const size_t end = std::min(rest.find(';'), rest.size());
        const std::string_view part = rest.substr(0, end);
        if (StartsWithNoCase(part, "FREQ=")) {
            return icalrecur_string_to_freq(UpperCase(std::string(part.substr(5))).c_str()) !=
                   ICAL_NO_RECURRENCE;
        }
        rest.remove_prefix(std::min(end + 1, rest.size()));
    }
    return false;
}

}  // namespace

void CheckRepeatRule(const std::string& Rule) {
    if (!HasFrequency(Rule)) {
        // libical's own text for this case ("MALFORMEDDATA: ...") does not say what is missing.
        throw ERepeatRuleError(
            "no repeat rule: FREQ=SECONDLY, MINUTELY, HOURLY, DAILY, WEEKLY, MONTHLY or YEARLY is "
            "missing");
    }
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
