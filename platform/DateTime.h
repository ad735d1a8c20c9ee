// Date-time values as the host and the database know them: a double counting days from
// 1899-12-30, the fraction being the time of day (local time). Built on <chrono> calendar types.
#pragma once

#include <chrono>

using TDateTime = double;

struct TDateParts {
    int Year = 0;
    int Month = 0;
    int Day = 0;
};

struct TTimeParts {
    int Hour = 0;
    int Minute = 0;
    int Second = 0;
    int Millisecond = 0;
};

// Raise EConvertError for a day or time that does not exist.
TDateTime EncodeDate(int year, int month, int day);
TDateTime EncodeTime(int hour, int minute, int second, int millisecond);
bool TryEncodeDate(int year, int month, int day, TDateTime& out);
bool TryEncodeTime(int hour, int minute, int second, int millisecond, TDateTime& out);

TDateParts DecodeDate(TDateTime value);
TTimeParts DecodeTime(TDateTime value);

// The day at midnight, and the time of day alone.
TDateTime DateOf(TDateTime value);
TDateTime TimeOf(TDateTime value);

int DaysInMonth(int year, int month);
bool IsValidDate(int year, int month, int day);
// 1 = Monday ... 7 = Sunday.
int IsoWeekday(TDateTime value);
// Week 1 holds the year's first Thursday.
int IsoWeekNumber(TDateTime value);

std::chrono::sys_days ToSysDays(TDateTime value);
TDateTime FromSysDays(std::chrono::sys_days day);
