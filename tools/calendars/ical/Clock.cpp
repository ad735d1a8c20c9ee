// Days and times without a zone, the machine's local time, and the wall clock an event's times
// are read on.
#include <chrono>
#include <cstdio>
#include <ctime>

#include "ICalPrivate.h"

namespace ical {

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

TSeconds TClock::UtcOf(TSeconds wall) const {
    switch (Kind) {
        case TKind::Utc:
            return wall;
        case TKind::Zoned:
            return Zone->UtcOf(wall);
        default:
            return LocalToUtc(StampOf(wall));
    }
}

TSeconds TClock::WallOf(TSeconds utc) const {
    switch (Kind) {
        case TKind::Utc:
            return utc;
        case TKind::Zoned:
            return Zone->WallOf(utc);
        default:
            return SecondsOf(UtcToLocal(utc));
    }
}

TICalStamp TClock::Local(TSeconds wall) const {
    bool zoned = Kind == TKind::Utc || Kind == TKind::Zoned;
    return zoned ? UtcToLocal(UtcOf(wall)) : StampOf(wall);
}

std::string TClock::Key(TSeconds wall) const {
    bool zoned = Kind == TKind::Utc || Kind == TKind::Zoned;
    return zoned ? StampText(StampOf(UtcOf(wall)), false) + "Z" : StampText(StampOf(wall), Day());
}

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

}  // namespace ical
