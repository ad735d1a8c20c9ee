// Overrides (RECURRENCE-ID): which of two for one occurrence counts, what each stands in for, and
// the occurrences of every event with them in place.
#include <algorithm>
#include <deque>
#include <utility>

#include "ICalPrivate.h"

namespace ical {

namespace {

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

std::vector<TICalEvent> ExpandEvents(std::vector<TEventParts>& events, const TICalWindow& Window) {
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

    std::vector<TICalEvent> expanded;
    expanded.reserve(events.size());
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
        expanded.push_back(std::move(event));
    }
    return expanded;
}

}  // namespace ical
