#include "DateTime.h"

#include <cmath>
#include <string>

#include "MondrelError.h"

namespace {

using namespace std::chrono;

constexpr sys_days Epoch = sys_days{year{1899} / December / 30};
constexpr double MsPerDay = 86400000.0;

// The whole day of a value; negative values count backwards with a positive time of day,
// as the host's date-time type does.
long long DayNumber(TDateTime value) {
    return static_cast<long long>(std::trunc(value));
}

long long MillisecondsOfDay(TDateTime value) {
    double fraction = std::fabs(value - std::trunc(value));
    auto ms = static_cast<long long>(std::llround(fraction * MsPerDay));
    return ms >= 86400000LL ? 86399999LL : ms;
}

}  // namespace

bool IsValidDate(int y, int m, int d) {
    if (y < 1 || y > 9999 || m < 1 || m > 12 || d < 1 || d > 31) {
        return false;
    }
    return year_month_day{year{y}, month{static_cast<unsigned>(m)}, day{static_cast<unsigned>(d)}}
        .ok();
}

bool TryEncodeDate(int y, int m, int d, TDateTime& out) {
    if (!IsValidDate(y, m, d)) {
        return false;
    }
    out = FromSysDays(
        sys_days{year{y} / month{static_cast<unsigned>(m)} / day{static_cast<unsigned>(d)}});
    return true;
}

TDateTime EncodeDate(int y, int m, int d) {
    TDateTime result = 0;
    if (!TryEncodeDate(y, m, d, result)) {
        throw EConvertError("Invalid argument to date encode");
    }
    return result;
}

bool TryEncodeTime(int h, int m, int s, int ms, TDateTime& out) {
    if (h < 0 || h > 23 || m < 0 || m > 59 || s < 0 || s > 59 || ms < 0 || ms > 999) {
        return false;
    }
    out = (((h * 60.0 + m) * 60.0 + s) * 1000.0 + ms) / MsPerDay;
    return true;
}

TDateTime EncodeTime(int h, int m, int s, int ms) {
    TDateTime result = 0;
    if (!TryEncodeTime(h, m, s, ms, result)) {
        throw EConvertError("Invalid argument to time encode");
    }
    return result;
}

TDateParts DecodeDate(TDateTime value) {
    year_month_day ymd{ToSysDays(value)};
    return {static_cast<int>(ymd.year()), static_cast<int>(static_cast<unsigned>(ymd.month())),
            static_cast<int>(static_cast<unsigned>(ymd.day()))};
}

TTimeParts DecodeTime(TDateTime value) {
    long long ms = MillisecondsOfDay(value);
    TTimeParts t;
    t.Millisecond = static_cast<int>(ms % 1000);
    ms /= 1000;
    t.Second = static_cast<int>(ms % 60);
    ms /= 60;
    t.Minute = static_cast<int>(ms % 60);
    t.Hour = static_cast<int>(ms / 60);
    return t;
}

TDateTime DateOf(TDateTime value) {
    return static_cast<double>(DayNumber(value));
}

TDateTime TimeOf(TDateTime value) {
    return std::fabs(value - std::trunc(value));
}

int DaysInMonth(int y, int m) {
    auto last = year_month_day_last{year{y}, month_day_last{month{static_cast<unsigned>(m)}}};
    return static_cast<int>(static_cast<unsigned>(last.day()));
}

int IsoWeekday(TDateTime value) {
    return static_cast<int>(weekday{ToSysDays(value)}.iso_encoding());
}

int IsoWeekNumber(TDateTime value) {
    sys_days d = ToSysDays(value);
    // The Thursday of the same ISO week decides the week-year.
    sys_days thursday = d - days{IsoWeekday(value) - 1} + days{3};
    year wy = year_month_day{thursday}.year();
    sys_days firstOfYear = sys_days{wy / January / 1};
    return static_cast<int>((thursday - firstOfYear).count() / 7 + 1);
}

sys_days ToSysDays(TDateTime value) {
    return Epoch + days{DayNumber(value)};
}

TDateTime FromSysDays(sys_days d) {
    return static_cast<double>((d - Epoch).count());
}
