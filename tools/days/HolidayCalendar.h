// Public holidays by region, from the KDE holiday library. This pair is the only code that sees
// that library (it is built on Qt 5, so it stays inside mondrel-db); it hands out plain days and
// UTF-8 names.
#pragma once

#include <chrono>
#include <string>
#include <vector>

struct THolidayRegion {
    std::string Code;       // the library's own: de-by_de
    std::string ShortCode;  // what users write for it: de-by (its own code where the short
                            // form belongs to another language of that region)
    std::string Name;       // Germany, Bavaria
};

struct THoliday {
    std::chrono::sys_days First;  // observed start
    std::chrono::sys_days Last;   // observed end; two-day holidays exist
    std::string Name;
    bool DayOff = false;  // the library marks it a day off work; otherwise an observance
};

// Every region the library knows, sorted by code.
std::vector<THolidayRegion> HolidayRegions();

// The library's code for Code, matched without regard to case: one of its own codes, or a short
// form without the language (de-by, at, gb-sct, us), which names the first of that region's
// languages in sorted order. "" when no region matches.
std::string FindHolidayRegion(const std::string& Code);

// The holidays of the region (a code FindHolidayRegion answered) that touch the days From to
// To. Raises EMondrelError for a region the library does not know.
std::vector<THoliday> RegionHolidays(const std::string& RegionCode, std::chrono::sys_days From,
                                     std::chrono::sys_days To);
