// Day marks and name tables of the month calendar control.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "Colors.h"
#include "DateTime.h"

// Font style set of a day number, one bit per style.
using TFontStyles = uint8_t;
constexpr TFontStyles fsBold = 0x01;
constexpr TFontStyles fsItalic = 0x02;
constexpr TFontStyles fsUnderline = 0x04;
constexpr TFontStyles fsStrikeOut = 0x08;

// One day mark. It applies to a day only when Date is that day at midnight exactly.
struct TTermin {
    TDateTime Date = 0;
    TFontStyles Style = 0;
    TColor Color = 0;
    // Carried along for the caller; the control never reads it.
    std::string Text;
};

// Every element of every inner list is considered; later ones win.
using TTermine = std::vector<std::vector<TTermin>>;

// Month names, index 1 to 12 (index 0 unused).
using TMonthNames = std::array<const char*, 13>;

inline constexpr TMonthNames MonthNamesDE = {
    "",     "Januar", "Februar",   "März",    "April",    "Mai",     "Juni",
    "Juli", "August", "September", "Oktober", "November", "Dezember"};
inline constexpr TMonthNames MonthNamesEN = {
    "",     "January", "February",  "March",   "April",    "May",     "June",
    "July", "August",  "September", "October", "November", "December"};

// Weekday headers, Monday to Sunday.
inline constexpr std::array<const char*, 7> WeekdayNamesDE = {"Mo", "Di", "Mi", "Do",
                                                              "Fr", "Sa", "So"};
inline constexpr std::array<const char*, 7> WeekdayNamesEN = {"Mo", "Tu", "We", "Thu",
                                                              "Fr", "Sa", "Su"};
