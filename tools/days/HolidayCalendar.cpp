#include "HolidayCalendar.h"

#include <KHolidays/HolidayRegion>
#include <QDate>
#include <QString>
#include <algorithm>
#include <map>

#include "CommandSupport.h"
#include "MondrelError.h"

namespace {

using namespace std::chrono;

// de-by_de without its language: de-by.
std::string WithoutLanguage(const std::string& code) {
    return code.substr(0, code.find('_'));
}

std::vector<std::string> SortedCodes() {
    std::vector<std::string> codes;
    for (const QString& code : KHolidays::HolidayRegion::regionCodes()) {
        codes.push_back(code.toStdString());
    }
    std::sort(codes.begin(), codes.end());
    return codes;
}

// The library's code for each short form: the first language in sorted order.
std::map<std::string, std::string> ShortForms(const std::vector<std::string>& codes) {
    std::map<std::string, std::string> forms;
    for (const std::string& code : codes) {
        forms.emplace(LowerCase(WithoutLanguage(code)), code);
    }
    return forms;
}

// This version of the library crashes when asked anything of a region it could not load, so
// every region is checked with isValid() first.
KHolidays::HolidayRegion ValidRegion(const std::string& code) {
    KHolidays::HolidayRegion region(QString::fromStdString(code));
    if (!region.isValid()) {
        throw EMondrelError("unknown holiday region \"" + code + "\"");
    }
    return region;
}

QDate ToQDate(sys_days day) {
    year_month_day date(day);
    return QDate(int(date.year()), int(unsigned(date.month())), int(unsigned(date.day())));
}

sys_days FromQDate(const QDate& date) {
    return sys_days(year(date.year()) / date.month() / date.day());
}

}  // namespace

std::vector<THolidayRegion> HolidayRegions() {
    std::vector<std::string> codes = SortedCodes();
    std::map<std::string, std::string> forms = ShortForms(codes);
    std::vector<THolidayRegion> regions;
    for (const std::string& code : codes) {
        std::string shortCode = WithoutLanguage(code);
        if (forms[LowerCase(shortCode)] != code) {
            shortCode = code;
        }
        // A region the library lists but cannot load is left out rather than asked its name.
        KHolidays::HolidayRegion region(QString::fromStdString(code));
        if (region.isValid()) {
            regions.push_back({code, shortCode, region.name().toStdString()});
        }
    }
    return regions;
}

std::string FindHolidayRegion(const std::string& Code) {
    std::vector<std::string> codes = SortedCodes();
    std::string wanted = LowerCase(Code);
    for (const std::string& code : codes) {
        if (LowerCase(code) == wanted) {
            return code;
        }
    }
    std::map<std::string, std::string> forms = ShortForms(codes);
    auto found = forms.find(wanted);
    return found == forms.end() ? std::string() : found->second;
}

std::vector<THoliday> RegionHolidays(const std::string& RegionCode, sys_days From, sys_days To) {
    std::vector<THoliday> holidays;
    for (const KHolidays::Holiday& holiday :
         ValidRegion(RegionCode).rawHolidays(ToQDate(From), ToQDate(To))) {
        sys_days first = FromQDate(holiday.observedStartDate());
        QDate end = holiday.observedEndDate();
        sys_days last = end.isValid() ? std::max(first, FromQDate(end)) : first;
        std::string name = holiday.name().toStdString();
        // The library's plans mark some days public that close only the schools (Bavaria's
        // "Buß- und Bettag (schulfrei)"); their names say so.
        bool schoolsOnly = name.find("(schulfrei)") != std::string::npos;
        holidays.push_back({first, last, name,
                            holiday.dayType() == KHolidays::Holiday::NonWorkday && !schoolsOnly});
    }
    return holidays;
}
