#include "WindowsZoneNames.h"

#include <unicode/ucal.h>
#include <unicode/ustring.h>

#include <algorithm>
#include <cctype>
#include <utility>

#include "Text.h"

namespace {

// Display names of the common zones, as Windows shows them after "(UTC+01:00) ", with the zone
// ID each stands for. Older programs wrote "(GMT+01:00) " in front; "Kiev" is the older spelling.
constexpr std::pair<const char*, const char*> DisplayNames[] = {
    {"Coordinated Universal Time", "UTC"},
    {"Dublin, Edinburgh, Lisbon, London", "GMT Standard Time"},
    {"Monrovia, Reykjavik", "Greenwich Standard Time"},
    {"Amsterdam, Berlin, Bern, Rome, Stockholm, Vienna", "W. Europe Standard Time"},
    {"Belgrade, Bratislava, Budapest, Ljubljana, Prague", "Central Europe Standard Time"},
    {"Brussels, Copenhagen, Madrid, Paris", "Romance Standard Time"},
    {"Sarajevo, Skopje, Warsaw, Zagreb", "Central European Standard Time"},
    {"West Central Africa", "W. Central Africa Standard Time"},
    {"Casablanca", "Morocco Standard Time"},
    {"Athens, Bucharest", "GTB Standard Time"},
    {"Helsinki, Kyiv, Riga, Sofia, Tallinn, Vilnius", "FLE Standard Time"},
    {"Helsinki, Kiev, Riga, Sofia, Tallinn, Vilnius", "FLE Standard Time"},
    {"Jerusalem", "Israel Standard Time"},
    {"Cairo", "Egypt Standard Time"},
    {"Harare, Pretoria", "South Africa Standard Time"},
    {"Istanbul", "Turkey Standard Time"},
    {"Moscow, St. Petersburg", "Russian Standard Time"},
    {"Moscow, St. Petersburg, Volgograd", "Russian Standard Time"},
    {"Kuwait, Riyadh", "Arab Standard Time"},
    {"Nairobi", "E. Africa Standard Time"},
    {"Tehran", "Iran Standard Time"},
    {"Abu Dhabi, Muscat", "Arabian Standard Time"},
    {"Islamabad, Karachi", "Pakistan Standard Time"},
    {"Chennai, Kolkata, Mumbai, New Delhi", "India Standard Time"},
    {"Kathmandu", "Nepal Standard Time"},
    {"Bangkok, Hanoi, Jakarta", "SE Asia Standard Time"},
    {"Beijing, Chongqing, Hong Kong, Urumqi", "China Standard Time"},
    {"Kuala Lumpur, Singapore", "Singapore Standard Time"},
    {"Perth", "W. Australia Standard Time"},
    {"Taipei", "Taipei Standard Time"},
    {"Osaka, Sapporo, Tokyo", "Tokyo Standard Time"},
    {"Seoul", "Korea Standard Time"},
    {"Adelaide", "Cen. Australia Standard Time"},
    {"Darwin", "AUS Central Standard Time"},
    {"Brisbane", "E. Australia Standard Time"},
    {"Canberra, Melbourne, Sydney", "AUS Eastern Standard Time"},
    {"Hobart", "Tasmania Standard Time"},
    {"Auckland, Wellington", "New Zealand Standard Time"},
    {"Hawaii", "Hawaiian Standard Time"},
    {"Alaska", "Alaskan Standard Time"},
    {"Pacific Time (US & Canada)", "Pacific Standard Time"},
    {"Arizona", "US Mountain Standard Time"},
    {"Mountain Time (US & Canada)", "Mountain Standard Time"},
    {"Central Time (US & Canada)", "Central Standard Time"},
    {"Saskatchewan", "Canada Central Standard Time"},
    {"Guadalajara, Mexico City, Monterrey", "Central Standard Time (Mexico)"},
    {"Eastern Time (US & Canada)", "Eastern Standard Time"},
    {"Indiana (East)", "US Eastern Standard Time"},
    {"Bogota, Lima, Quito, Rio Branco", "SA Pacific Standard Time"},
    {"Atlantic Time (Canada)", "Atlantic Standard Time"},
    {"Newfoundland", "Newfoundland Standard Time"},
    {"Brasilia", "E. South America Standard Time"},
    {"City of Buenos Aires", "Argentina Standard Time"},
    {"Buenos Aires", "Argentina Standard Time"},
};

// "(UTC-05:00) Eastern Time (US & Canada)" names the zone ID "Eastern Standard Time".
std::string ZoneIDOfDisplayName(const std::string& name) {
    if (name.rfind("(UTC", 0) != 0 && name.rfind("(GMT", 0) != 0) {
        return std::string();
    }
    size_t close = name.find(')');
    if (close == std::string::npos) {
        return std::string();
    }
    size_t start = name.find_first_not_of(' ', close + 1);
    std::string place = start == std::string::npos ? std::string() : name.substr(start);
    for (const auto& [display, id] : DisplayNames) {
        if (EqualsNoCase(place, display)) {
            return id;
        }
    }
    return std::string();
}

std::string OlsonNameOfZoneID(const std::string& id) {
    if (id.empty() || id.size() > 100 ||
        !std::all_of(id.begin(), id.end(), [](char c) { return c > 0 && c < 0x7F; })) {
        return std::string();
    }
    UChar windowsID[128];
    u_charsToUChars(id.c_str(), windowsID, static_cast<int32_t>(id.size()));
    UChar olson[128];
    UErrorCode status = U_ZERO_ERROR;
    int32_t length = ucal_getTimeZoneIDForWindowsID(windowsID, static_cast<int32_t>(id.size()),
                                                    nullptr, olson, 128, &status);
    if (U_FAILURE(status) || length <= 0 || length >= 128) {
        return std::string();
    }
    char text[128];
    u_UCharsToChars(olson, text, length);
    return std::string(text, static_cast<size_t>(length));
}

}  // namespace

std::string OlsonNameOfWindowsZone(const std::string& Name) {
    std::string olson = OlsonNameOfZoneID(Name);
    return olson.empty() ? OlsonNameOfZoneID(ZoneIDOfDisplayName(Name)) : olson;
}
