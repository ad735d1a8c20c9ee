// What the calendar text says before libical reads it: whether it was cut off, and the summaries
// as written (libical's reader trims the blanks at their ends).
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

struct TICalTextScan {
    // The component left open at the end of the text ("VEVENT", "VCALENDAR"), or "" when every
    // BEGIN found its END.
    std::string Unclosed;
    // The first SUMMARY of each VEVENT directly inside a VCALENDAR, in the order of the text,
    // unescaped; none for an event without one.
    std::vector<std::optional<std::string>> Summaries;
};

TICalTextScan ScanICalText(const std::string& Text);

// The value of a content line: after the first colon outside a quoted parameter value.
std::string_view ICalLineValue(std::string_view line);
