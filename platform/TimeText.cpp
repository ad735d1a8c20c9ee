#include "TimeText.h"

#include <array>
#include <cctype>
#include <cstdio>
#include <optional>

#include "DecimalText.h"
#include "MondrelError.h"

namespace {

std::string_view Trim(std::string_view s) {
    while (!s.empty() && std::isspace(static_cast<unsigned char>(s.front()))) {
        s.remove_prefix(1);
    }
    while (!s.empty() && std::isspace(static_cast<unsigned char>(s.back()))) {
        s.remove_suffix(1);
    }
    return s;
}

bool EqualsNoCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) {
        return false;
    }
    for (size_t i = 0; i < a.size(); ++i) {
        if (std::toupper(static_cast<unsigned char>(a[i])) !=
            std::toupper(static_cast<unsigned char>(b[i]))) {
            return false;
        }
    }
    return true;
}

std::optional<int> ParseField(std::string_view s) {
    return ParseDecimalDigits(s, 2);
}

[[noreturn]] void Invalid(std::string_view text) {
    throw EConvertError("'" + std::string(text) + "' is not a valid time");
}

}  // namespace

std::string FormatLongTime(TDateTime value) {
    TTimeParts t = DecodeTime(value);
    auto twoDigits = [](int part) { return part >= 0 && part <= 99; };
    if (twoDigits(t.Hour) && twoDigits(t.Minute) && twoDigits(t.Second)) {  // all but NaN
        std::string text;
        AppendTwoDigits(text, t.Hour);
        text += ':';
        AppendTwoDigits(text, t.Minute);
        text += ':';
        AppendTwoDigits(text, t.Second);
        return text;
    }
    char buffer[16];
    std::snprintf(buffer, sizeof buffer, "%02d:%02d:%02d", t.Hour, t.Minute, t.Second);
    return buffer;
}

TDateTime ParseTime(std::string_view text) {
    std::string_view rest = Trim(text);

    // An AM/PM designator at the end, with or without a blank before it.
    int meridiem = 0;  // 0 none, 1 AM, 2 PM
    if (rest.size() >= 2) {
        std::string_view tail = rest.substr(rest.size() - 2);
        if (EqualsNoCase(tail, "AM") || EqualsNoCase(tail, "PM")) {
            meridiem = EqualsNoCase(tail, "AM") ? 1 : 2;
            rest = Trim(rest.substr(0, rest.size() - 2));
        }
    }

    // Split at the colons; a fourth field is one too many, so the split stops there.
    std::array<std::string_view, 4> fields;
    size_t count = 0;
    size_t start = 0;
    while (count < fields.size()) {
        size_t colon = rest.find(':', start);
        fields[count++] =
            rest.substr(start, colon == std::string_view::npos ? colon : colon - start);
        if (colon == std::string_view::npos) {
            break;
        }
        start = colon + 1;
    }
    if (count < 2 || count > 3) {
        Invalid(text);
    }
    // Some tools write milliseconds after the seconds ("10:30:00.250").
    std::optional<int> millisecond = 0;
    if (count == 3) {
        size_t dot = fields[2].find('.');
        if (dot != std::string_view::npos) {
            std::string_view fraction = fields[2].substr(dot + 1);
            millisecond = ParseDecimalDigits(fraction, 3);
            for (size_t i = fraction.size(); millisecond && i < 3; ++i) {
                *millisecond *= 10;
            }
            fields[2] = fields[2].substr(0, dot);
        }
    }
    auto hour = ParseField(fields[0]);
    auto minute = ParseField(fields[1]);
    auto second = count == 3 ? ParseField(fields[2]) : std::optional<int>(0);
    if (!hour || !minute || !second || !millisecond || fields[1].size() != 2 ||
        (count == 3 && fields[2].size() != 2)) {
        Invalid(text);
    }
    int h = *hour;
    if (meridiem != 0) {
        if (h < 1 || h > 12) {
            Invalid(text);
        }
        h = (h % 12) + (meridiem == 2 ? 12 : 0);
    }
    TDateTime result = 0;
    if (!TryEncodeTime(h, *minute, *second, *millisecond, result)) {
        Invalid(text);
    }
    return result;
}
